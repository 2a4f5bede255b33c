#include "candb/dbc.h"

#include <QHash>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace dbc {

namespace {

// The last line of an object's comment that carries its name when the name is
// no DBC identifier: "Tessel name: Öl temp".
constexpr QStringView nameLinePrefix = u"Tessel name: ";
// The transmitter and receiver that stands for no node.
constexpr QStringView noNode = u"Vector__XXX";
constexpr QStringView cycleTimeAttribute = u"GenMsgCycleTime";

constexpr quint32 extendedMark = 0x80000000u;
constexpr quint32 idMask = 0x1FFFFFFFu;

// ---- Text -------------------------------------------------------------------

// Windows-1252 differs from Latin-1 in 0x80..0x9F only; its five unassigned
// bytes map to the C1 control of the same number.
constexpr char16_t windows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString decodeText(const QByteArray &bytes)
{
    // Stateless, so that a multi-byte sequence cut off at the end is an error too.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.resize(bytes.size());
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto b = quint8(c);
        *out++ = QChar(b >= 0x80 && b < 0xA0 ? windows1252High[b - 0x80] : char16_t(b));
    }
    return text;
}

// White space within a line.
bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return u == ' ' || u == '\t' || u == '\r' || u == '\f' || u == '\v';
}

bool isNameChar(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

// A DBC identifier: [A-Za-z_][A-Za-z0-9_]*.
bool isIdentifier(QStringView name)
{
    if (name.isEmpty() || name.front().isDigit())
        return false;
    return std::all_of(name.begin(), name.end(), isNameChar);
}

// A name the reader reads as one: [A-Za-z0-9_]+ (leading digits are tolerated).
bool isNameToken(QStringView name)
{
    return !name.isEmpty() && std::all_of(name.begin(), name.end(), isNameChar);
}

// Where the name line of a comment starts (at the start of the text or of a
// line; the last one counts), or -1.
qsizetype nameLineAt(QStringView comment)
{
    qsizetype at = comment.lastIndexOf(nameLinePrefix);
    while (at > 0 && comment[at - 1] != u'\n')
        at = comment.lastIndexOf(nameLinePrefix, at - 1);
    return at;
}

// Splits a read comment into the comment proper and the name its last line
// keeps, if any.
std::optional<QString> takeNameLine(QString &comment)
{
    const qsizetype at = nameLineAt(comment);
    if (at < 0)
        return std::nullopt;
    QString name = comment.mid(at + nameLinePrefix.size());
    comment.truncate(at > 0 ? at - 1 : 0);
    return name;
}

// ---- Numbers ----------------------------------------------------------------

// The ASCII of a number's text in `buffer`; false for anything else.
bool toAscii(QStringView text, char (&buffer)[64], size_t &length)
{
    if (text.isEmpty() || text.size() >= qsizetype(sizeof buffer))
        return false;
    length = 0;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return false;
        buffer[length++] = char(c.unicode());
    }
    return true;
}

// A number in `value`, all of `text` read; `format` as std::from_chars takes it.
template <typename T, typename... Format> bool parseNumber(QStringView text, T &value, Format... format)
{
    char buffer[64] = {};
    size_t length = 0;
    if (!toAscii(text, buffer, length))
        return false;
    const char *from = buffer[0] == '+' ? buffer + 1 : buffer;
    const auto [end, ec] = std::from_chars(from, buffer + length, value, format...);
    return ec == std::errc() && end == buffer + length;
}

bool parseDouble(QStringView text, double &value)
{
    return parseNumber(text, value, std::chars_format::general) && std::isfinite(value);
}

template <typename T> bool parseInteger(QStringView text, T &value)
{
    return parseNumber(text, value);
}

// A raw value of a value text: signed, or unsigned up to 2^64 - 1 (taken as
// its bit pattern, as a 64-bit field's raw bits are).
bool parseRawValue(QStringView text, qint64 &value)
{
    if (parseInteger(text, value))
        return true;
    quint64 unsignedValue = 0;
    if (!parseInteger(text, unsignedValue))
        return false;
    value = qint64(unsignedValue);
    return true;
}

// ---- Scanner ----------------------------------------------------------------

// Keywords that start a statement; a statement skipped to its end stops before
// a line that starts with one of them.
bool isKeyword(QStringView word)
{
    constexpr QStringView keywords =
        u"VERSION NS_ NS_DESC_ BS_ BU_ BO_ SG_ CM_ BA_DEF_ BA_DEF_DEF_ BA_ VAL_ VAL_TABLE_ SIG_VALTYPE_ SIG_GROUP_ "
        u"SG_MUL_VAL_ EV_ EV_DATA_ ENVVAR_DATA_ BO_TX_BU_ BA_DEF_REL_ BA_REL_ BA_DEF_DEF_REL_ BU_SG_REL_ BU_EV_REL_ "
        u"BU_BO_REL_ BA_DEF_SGTYPE_ BA_SGTYPE_ SGTYPE_ SGTYPE_VAL_ SIG_TYPE_REF_ SIGTYPE_VALTYPE_ CAT_DEF_ CAT_ FILTER";
    for (const QStringView keyword : keywords.tokenize(u' '))
        if (keyword == word)
            return true;
    return false;
}

// Reads the decoded text token by token. Within a line statement (BO_, SG_,
// BU_) a line feed ends the statement; statements that end with ";" run over
// line feeds. The first failure sticks: later reads return nothing.
class Scanner
{
public:
    explicit Scanner(QStringView text)
        : p(text.data())
        , end(text.data() + text.size())
    {
    }

    [[nodiscard]] bool atEnd() const { return p == end; }
    [[nodiscard]] bool failed() const { return !error.isEmpty(); }
    [[nodiscard]] const QString &errorText() const { return error; }
    [[nodiscard]] int errorLine() const { return errorAt; }

    // Starts a statement at the current position.
    void begin(bool overLines)
    {
        acrossLines = overLines;
        statementLine = lineNumber;
    }
    [[nodiscard]] int startLine() const { return statementLine; }

    void fail(const QString &what) { failAt(statementLine, what); }
    void failAt(int line, const QString &what)
    {
        if (failed())
            return;
        errorAt = line;
        error = line > 0 ? QStringLiteral("Line %1: %2").arg(line).arg(what) : what;
    }

    // Spaces, tabs and carriage returns; line feeds too within a ";" statement.
    void skipBlanks()
    {
        while (p != end) {
            const char16_t c = p->unicode();
            if (c == u'\n') {
                if (!acrossLines)
                    return;
                ++lineNumber;
            } else if (!isBlank(*p)) {
                return;
            }
            ++p;
        }
    }

    // Every kind of white space, line feeds included.
    void skipSpace()
    {
        const bool was = acrossLines;
        acrossLines = true;
        skipBlanks();
        acrossLines = was;
    }

    [[nodiscard]] bool atLineEnd()
    {
        skipBlanks();
        return p == end || *p == u'\n';
    }

    [[nodiscard]] bool peek(char16_t c)
    {
        skipBlanks();
        return p != end && *p == c;
    }

    bool take(char16_t c)
    {
        if (!peek(c))
            return false;
        ++p;
        return true;
    }

    // Takes `c` or fails with `what`.
    void expect(char16_t c, const QString &what)
    {
        if (!failed() && !take(c))
            fail(what);
    }

    // [A-Za-z0-9_]+, empty when there is none.
    QStringView word()
    {
        skipBlanks();
        const QChar *from = p;
        while (p != end && isNameChar(*p))
            ++p;
        return QStringView(from, p);
    }

    // A keyword at the start of a statement: a word, or else whatever runs up
    // to the next white space (at most 40 characters), so that a stray line is
    // named by what it starts with.
    QStringView keyword()
    {
        QStringView w = word();
        if (!w.isEmpty())
            return w;
        const QChar *from = p;
        while (p != end && !isBlank(*p) && *p != u'\n' && p - from < 40)
            ++p;
        return QStringView(from, p);
    }

    // A name, or fails naming `what`.
    QString name(const QString &what)
    {
        const QStringView w = word();
        if (w.isEmpty() && !failed())
            fail(QStringLiteral("%1 expected").arg(what));
        return w.toString();
    }

    // The text of a number: a sign, letters, digits and dots, and a sign
    // right after an exponent's e.
    QStringView numberText()
    {
        skipBlanks();
        const QChar *from = p;
        if (p != end && (*p == u'+' || *p == u'-'))
            ++p;
        while (p != end) {
            const QChar c = *p;
            if (isNameChar(c) || c == u'.' ||
                ((c == u'+' || c == u'-') && p > from && (p[-1] == u'e' || p[-1] == u'E')))
                ++p;
            else
                break;
        }
        return QStringView(from, p);
    }

    double number(const QString &what)
    {
        double value = 0;
        const QStringView text = numberText();
        if (!parseDouble(text, value) && !failed())
            fail(QStringLiteral("%1 is not a number: \"%2\"").arg(what, text.toString()));
        return value;
    }

    template <typename T> T integer(const QString &what)
    {
        T value = 0;
        const QStringView text = numberText();
        if (!parseInteger(text, value) && !failed())
            fail(QStringLiteral("%1 is not a whole number in range: \"%2\"").arg(what, text.toString()));
        return value;
    }

    // A quoted string; \" and \\ stand for " and \. Line feeds belong to it.
    QString string(const QString &what)
    {
        if (failed())
            return {};
        if (!peek(u'"')) {
            fail(QStringLiteral("%1 expected as a quoted string").arg(what));
            return {};
        }
        const int opened = lineNumber;
        ++p;
        QString text;
        const QChar *from = p;
        while (p != end && *p != u'"') {
            if (*p == u'\\' && p + 1 != end && (p[1] == u'"' || p[1] == u'\\')) {
                text.append(from, p - from);
                text.append(p[1]);
                p += 2;
                from = p;
                continue;
            }
            if (*p == u'\n')
                ++lineNumber;
            ++p;
        }
        if (p == end) {
            failAt(opened, QStringLiteral("unterminated string (%1)").arg(what));
            return {};
        }
        text.append(from, p - from);
        ++p;
        return text;
    }

    // The end of a line statement: nothing but blanks up to the line's end.
    void endLine(const QString &statement)
    {
        if (!failed() && !atLineEnd())
            fail(QStringLiteral("unexpected text at the end of %1").arg(statement));
    }

    void endStatement(const QString &statement)
    {
        if (!failed() && !take(u';'))
            fail(QStringLiteral("%1 does not end with \";\"").arg(statement));
    }

    // Skips what is left of a statement that is not read: up to its ";" (outside
    // strings), a blank line or a line that starts another statement.
    void skipStatement()
    {
        while (p != end) {
            const char16_t c = p->unicode();
            if (c == u';') {
                ++p;
                return;
            }
            if (c == u'"') {
                skipQuoted();
                continue;
            }
            ++p;
            if (c == u'\n') {
                ++lineNumber;
                if (nextLineEndsStatement())
                    return;
            }
        }
    }

    // Skips the rest of the line (strings in it may run over line feeds).
    void skipLine()
    {
        while (p != end && *p != u'\n') {
            if (*p == u'"')
                skipQuoted();
            else
                ++p;
        }
    }

    // Skips the rest of the line and the indented lines after it (the NS_ list).
    void skipIndentedBlock()
    {
        while (p != end) {
            if (*p++ != u'\n')
                continue;
            ++lineNumber;
            if (p != end && *p != u' ' && *p != u'\t' && *p != u'\r' && *p != u'\n')
                return;
        }
    }

private:
    // A quoted string inside a skipped statement; an opening quote without a
    // closing one is taken as a plain character.
    void skipQuoted()
    {
        const QChar *q = p + 1;
        int lines = 0;
        while (q != end && *q != u'"') {
            if (*q == u'\\' && q + 1 != end && (q[1] == u'"' || q[1] == u'\\')) {
                q += 2;
                continue;
            }
            if (*q == u'\n')
                ++lines;
            ++q;
        }
        if (q == end) {
            ++p;
            return;
        }
        p = q + 1;
        lineNumber += lines;
    }

    [[nodiscard]] bool nextLineEndsStatement() const
    {
        const QChar *q = p;
        while (q != end && (*q == u' ' || *q == u'\t' || *q == u'\r'))
            ++q;
        if (q == end || *q == u'\n')
            return true;
        const QChar *from = q;
        while (q != end && isNameChar(*q))
            ++q;
        return isKeyword(QStringView(from, q));
    }

    const QChar *p;
    const QChar *end;
    int lineNumber = 1;
    int statementLine = 1;
    bool acrossLines = false;
    QString error;
    int errorAt = 0;
};

// ---- Reader -----------------------------------------------------------------

// What the reader keeps beside a message while the file is read.
struct MessageState
{
    // Signal names as in the file -> index in fields; -1 for a signal that was
    // not kept (later statements about it are dropped quietly).
    QHash<QString, int> fieldIndex;
    QList<int> fieldLines;
    QList<bool> dropped;
    QList<bool> signedInFile; // "-" in SG_, for a SIG_VALTYPE_ that makes a float an integer again
    bool cycleTimeSet = false;
};

class Reader
{
public:
    explicit Reader(QStringView text)
        : s(text)
    {
    }

    ReadResult run()
    {
        while (!s.failed()) {
            s.skipSpace();
            if (s.atEnd())
                break;
            s.begin(false);
            const QStringView keyword = s.keyword();
            statement(keyword);
        }
        if (!s.failed() && !sawMessage && !sawNodes && !sawVersion)
            s.failAt(0, QStringLiteral("not a DBC file (no VERSION, BU_ or BO_)"));
        if (s.failed()) {
            result.ok = false;
            result.error = s.errorText();
            result.errorLine = s.errorLine();
            result.network = {};
            return result;
        }
        finish();
        result.ok = true;
        return result;
    }

private:
    void statement(QStringView keyword)
    {
        if (keyword == u"BO_") {
            readMessage();
        } else if (keyword == u"SG_") {
            readSignal();
        } else if (keyword == u"BU_") {
            readNodes();
        } else if (keyword == u"CM_") {
            s.begin(true);
            readComment();
        } else if (keyword == u"VAL_") {
            s.begin(true);
            readValueTexts();
        } else if (keyword == u"BA_") {
            s.begin(true);
            readAttribute();
        } else if (keyword == u"SIG_VALTYPE_") {
            s.begin(true);
            readValueType();
        } else if (keyword == u"BA_DEF_" || keyword == u"BA_DEF_DEF_") {
            s.begin(true);
            readAttributeDefinition(keyword.toString());
        } else if (keyword == u"VERSION") {
            sawVersion = true;
            s.skipLine();
        } else if (keyword == u"NS_") {
            s.skipIndentedBlock();
        } else if (keyword == u"BS_") {
            s.skipLine();
        } else {
            skip(keyword.toString(), s.startLine());
            s.skipStatement();
        }
    }

    void skip(const QString &kind, int line)
    {
        const auto at = skippedIndex.constFind(kind);
        if (at != skippedIndex.cend()) {
            ++result.skipped[*at].count;
            return;
        }
        skippedIndex.insert(kind, int(result.skipped.size()));
        result.skipped.append(Skipped{kind, 1, line});
    }

    void warn(int line, const QString &what)
    {
        result.warnings.append(QStringLiteral("Line %1: %2").arg(line).arg(what));
    }

    // The message a statement names by its identifier in the file; null (after
    // a warning, unless it was already dropped) when there is none.
    Message *messageFor(quint32 fileId, const QString &statement)
    {
        const auto at = messageIndex.constFind(fileId);
        if (at == messageIndex.cend()) {
            warn(s.startLine(), QStringLiteral("%1 for unknown message %2; skipped").arg(statement).arg(fileId));
            return nullptr;
        }
        return *at < 0 ? nullptr : &result.network.messages[*at];
    }

    // The kept signal a statement names, or null (after a warning, unless it
    // was dropped earlier).
    DataField *fieldFor(quint32 fileId, const QString &name, const QString &statement)
    {
        Message *message = messageFor(fileId, statement);
        if (!message)
            return nullptr;
        const MessageState &state = states[size_t(message - result.network.messages.data())];
        const auto at = state.fieldIndex.constFind(name);
        if (at == state.fieldIndex.cend()) {
            warn(s.startLine(),
                 QStringLiteral("%1 for unknown signal %2 of message %3; skipped").arg(statement, name, message->name));
            return nullptr;
        }
        return *at < 0 ? nullptr : &message->fields[*at];
    }

    // BO_ <id> <name>: <dlc> <transmitter>
    void readMessage()
    {
        sawMessage = true;
        current = notKept;
        const int line = s.startLine();
        const auto fileId = s.integer<quint32>(QStringLiteral("BO_: the identifier"));
        const QString name = s.name(QStringLiteral("BO_: the message name"));
        s.expect(u':', QStringLiteral("BO_: \":\" expected after the message name"));
        const int dlc = s.integer<int>(QStringLiteral("BO_: the data length"));
        if (!s.failed() && dlc < 0)
            s.fail(QStringLiteral("BO_: negative data length"));
        QString transmitter;
        if (!s.atLineEnd())
            transmitter = s.name(QStringLiteral("BO_: the transmitter"));
        s.endLine(QStringLiteral("BO_"));
        if (s.failed())
            return;

        Message message;
        message.extended = fileId & extendedMark;
        message.id = fileId & idMask;
        message.name = name;
        message.dlc = dlc;
        message.transmitter = transmitter == noNode ? QString() : transmitter;
        message.line = line;
        if (!message.extended && message.id > 0x7FF) {
            warn(line, QStringLiteral("message %1 has a standard identifier beyond 11 bits; skipped").arg(name));
            messageIndex.insert(fileId, -1);
            return;
        }
        const quint64 key = quint64(message.id) | (message.extended ? quint64(1) << 32 : 0);
        if (messageKeys.contains(key) || messageIndex.contains(fileId)) {
            warn(line, QStringLiteral("message %1 repeats identifier %2; skipped").arg(name).arg(fileId));
            return;
        }
        messageKeys.insert(key);
        current = int(result.network.messages.size());
        messageIndex.insert(fileId, current);
        result.network.messages.append(std::move(message));
        states.emplace_back();
    }

    // SG_ <name> [M|m<n>|m<n>M] : <start>|<length>@<0|1><+|-> (<factor>,<offset>)
    //     [<min>|<max>] "<unit>" <receivers>
    void readSignal()
    {
        const int line = s.startLine();
        DataField field;
        field.name = s.name(QStringLiteral("SG_: the signal name"));
        if (!s.failed() && !s.peek(u':')) {
            const QStringView mux = s.word();
            if (mux == u"M") {
                field.multiplexor = true;
            } else if (mux.size() > 1 && mux.front() == u'm') {
                QStringView number = mux.sliced(1);
                if (number.endsWith(u'M')) {
                    field.multiplexor = true;
                    number.chop(1);
                }
                if (number.isEmpty() || !number.front().isDigit() || !parseInteger(number, field.multiplexValue))
                    s.fail(QStringLiteral("SG_: bad multiplex indicator \"%1\"").arg(mux.toString()));
            } else {
                s.fail(QStringLiteral("SG_: \":\" expected after the signal name"));
            }
        }
        s.expect(u':', QStringLiteral("SG_: \":\" expected after the signal name"));
        const int start = s.integer<int>(QStringLiteral("SG_: the start bit"));
        s.expect(u'|', QStringLiteral("SG_: \"|\" expected after the start bit"));
        const int length = s.integer<int>(QStringLiteral("SG_: the length"));
        s.expect(u'@', QStringLiteral("SG_: \"@\" expected after the length"));
        if (s.take(u'0'))
            field.order = signaldecode::ByteOrder::BigEndian;
        else
            s.expect(u'1', QStringLiteral("SG_: byte order @0 or @1 expected"));
        if (s.take(u'-'))
            field.type = signaldecode::ValueType::Signed;
        else
            s.expect(u'+', QStringLiteral("SG_: \"+\" or \"-\" expected after the byte order"));
        s.expect(u'(', QStringLiteral("SG_: \"(\" expected before the factor"));
        field.factor = s.number(QStringLiteral("SG_: the factor"));
        s.expect(u',', QStringLiteral("SG_: \",\" expected after the factor"));
        field.offset = s.number(QStringLiteral("SG_: the offset"));
        s.expect(u')', QStringLiteral("SG_: \")\" expected after the offset"));
        s.expect(u'[', QStringLiteral("SG_: \"[\" expected before the minimum"));
        field.minimum = s.number(QStringLiteral("SG_: the minimum"));
        s.expect(u'|', QStringLiteral("SG_: \"|\" expected after the minimum"));
        field.maximum = s.number(QStringLiteral("SG_: the maximum"));
        s.expect(u']', QStringLiteral("SG_: \"]\" expected after the maximum"));
        field.unit = s.string(QStringLiteral("SG_: the unit"));
        bool received = false;
        while (!s.failed() && !s.atLineEnd()) {
            received |= s.name(QStringLiteral("SG_: a receiver")) != noNode;
            s.take(u',');
        }
        if (s.failed())
            return;

        if (current == noMessage) {
            warn(line, QStringLiteral("signal %1 outside a message; skipped").arg(field.name));
            return;
        }
        if (current == notKept)
            return;
        field.begin = start;
        field.end = int(std::clamp<qint64>(qint64(start) + length - 1, INT_MIN, INT_MAX));
        Message &message = result.network.messages[current];
        MessageState &state = states[size_t(current)];
        if (state.fieldIndex.contains(field.name)) {
            warn(line, QStringLiteral("signal %1 repeats a name in message %2; skipped").arg(field.name, message.name));
            return;
        }
        if (length < 1 || length > 64 || signaldecode::check(field.decoderField()) != signaldecode::Status::Ok) {
            warn(line, QStringLiteral("signal %1 (start %2, length %3) does not fit in 64 bits; skipped")
                           .arg(field.name)
                           .arg(start)
                           .arg(length));
            state.fieldIndex.insert(field.name, -1);
            return;
        }
        if (field.factor == 0)
            warn(line, QStringLiteral("signal %1 has factor 0").arg(field.name));
        state.fieldIndex.insert(field.name, int(message.fields.size()));
        state.fieldLines.append(line);
        state.dropped.append(false);
        state.signedInFile.append(field.type == signaldecode::ValueType::Signed);
        if (received)
            skip(QStringLiteral("SG_ receivers"), line);
        message.fields.append(std::move(field));
    }

    // BU_: <node> <node> ...
    void readNodes()
    {
        sawNodes = true;
        s.expect(u':', QStringLiteral("BU_: \":\" expected"));
        while (!s.failed() && !s.atLineEnd()) {
            const QString name = s.name(QStringLiteral("BU_: a node name"));
            if (s.failed())
                return;
            if (nodeIndex.contains(name)) {
                warn(s.startLine(), QStringLiteral("node %1 is listed twice; skipped").arg(name));
                continue;
            }
            nodeIndex.insert(name, int(result.network.nodes.size()));
            result.network.nodes.append(name);
        }
    }

    // CM_ [BU_ <node> | BO_ <id> | SG_ <id> <signal> | EV_ <variable>] "<text>" ;
    void readComment()
    {
        const int line = s.startLine();
        if (s.peek(u'"')) {
            s.string(QStringLiteral("CM_: the comment"));
            s.endStatement(QStringLiteral("CM_"));
            if (!s.failed())
                skip(QStringLiteral("CM_"), line);
            return;
        }
        const QStringView object = s.word();
        if (object == u"BU_") {
            const QString node = s.name(QStringLiteral("CM_ BU_: the node name"));
            QString text = s.string(QStringLiteral("CM_ BU_: the comment"));
            s.endStatement(QStringLiteral("CM_"));
            if (s.failed())
                return;
            const auto at = nodeIndex.constFind(node);
            if (at == nodeIndex.cend()) {
                warn(line, QStringLiteral("CM_ for unknown node %1; skipped").arg(node));
                return;
            }
            const std::optional<QString> name = takeNameLine(text);
            if (name)
                result.network.nodes[*at] = *name;
            // Nodes have no comment here: only a comment that is nothing but the name is taken whole.
            if (!name || !text.isEmpty())
                skip(QStringLiteral("CM_ BU_"), line);
        } else if (object == u"BO_") {
            const auto fileId = s.integer<quint32>(QStringLiteral("CM_ BO_: the identifier"));
            QString text = s.string(QStringLiteral("CM_ BO_: the comment"));
            s.endStatement(QStringLiteral("CM_"));
            if (s.failed())
                return;
            if (Message *message = messageFor(fileId, QStringLiteral("CM_"))) {
                if (const auto name = takeNameLine(text))
                    message->name = *name;
                message->comment = text;
            }
        } else if (object == u"SG_") {
            const auto fileId = s.integer<quint32>(QStringLiteral("CM_ SG_: the identifier"));
            const QString signal = s.name(QStringLiteral("CM_ SG_: the signal name"));
            QString text = s.string(QStringLiteral("CM_ SG_: the comment"));
            s.endStatement(QStringLiteral("CM_"));
            if (s.failed())
                return;
            if (DataField *field = fieldFor(fileId, signal, QStringLiteral("CM_"))) {
                if (const auto name = takeNameLine(text))
                    field->name = *name;
                field->comment = text;
            }
        } else if (object == u"EV_") {
            s.name(QStringLiteral("CM_ EV_: the variable name"));
            s.string(QStringLiteral("CM_ EV_: the comment"));
            s.endStatement(QStringLiteral("CM_"));
            if (!s.failed())
                skip(QStringLiteral("CM_ EV_"), line);
        } else {
            s.fail(QStringLiteral("CM_: BU_, BO_, SG_, EV_ or a string expected"));
        }
    }

    // VAL_ <id> <signal> <raw> "<text>" ... ;
    // (VAL_ <variable> <raw> "<text>" ... ; belongs to an environment variable.)
    void readValueTexts()
    {
        const int line = s.startLine();
        const QStringView first = s.word();
        quint32 fileId = 0;
        if (!first.isEmpty() && !first.front().isDigit()) {
            skip(QStringLiteral("VAL_ (environment variable)"), line);
            s.skipStatement();
            return;
        }
        if (!parseInteger(first, fileId))
            s.fail(QStringLiteral("VAL_: the identifier is not a number: \"%1\"").arg(first.toString()));
        const QString signal = s.name(QStringLiteral("VAL_: the signal name"));
        QMap<qint64, QString> texts;
        while (!s.failed() && !s.take(u';')) {
            const QStringView rawText = s.numberText();
            qint64 raw = 0;
            if (!parseRawValue(rawText, raw)) {
                s.fail(
                    rawText.isEmpty()
                        ? QStringLiteral("VAL_ does not end with \";\"")
                        : QStringLiteral("VAL_: the raw value is not a whole number: \"%1\"").arg(rawText.toString()));
                break;
            }
            texts.insert(raw, s.string(QStringLiteral("VAL_: the value text")));
        }
        if (s.failed())
            return;
        if (DataField *field = fieldFor(fileId, signal, QStringLiteral("VAL_")))
            field->valueTexts = std::move(texts);
    }

    // BA_ "<attribute>" [BU_ <node> | BO_ <id> | SG_ <id> <signal> | EV_ <variable>] <value> ;
    // Only the cycle time of a message is kept.
    void readAttribute()
    {
        const int line = s.startLine();
        const QString attribute = s.string(QStringLiteral("BA_: the attribute name"));
        if (s.failed())
            return;
        if (attribute != cycleTimeAttribute || !s.peek(u'B') || s.word() != u"BO_") {
            skip(QStringLiteral("BA_ ") + attribute, line);
            s.skipStatement();
            return;
        }
        const auto fileId = s.integer<quint32>(QStringLiteral("BA_: the identifier"));
        const double value = s.number(QStringLiteral("BA_: the cycle time"));
        s.endStatement(QStringLiteral("BA_"));
        if (s.failed())
            return;
        Message *message = messageFor(fileId, QStringLiteral("BA_"));
        if (!message)
            return;
        if (value != std::trunc(value) || std::fabs(value) > std::numeric_limits<int>::max()) {
            warn(line, QStringLiteral("cycle time %1 of message %2 is no whole number of milliseconds; skipped")
                           .arg(value)
                           .arg(message->name));
            return;
        }
        message->cycleTime = int(value);
        states[size_t(message - result.network.messages.data())].cycleTimeSet = true;
    }

    // BA_DEF_ [BU_|BO_|SG_|EV_] "<attribute>" <type> ... ;  BA_DEF_DEF_ "<attribute>" <default> ;
    // The cycle time's are understood (its default applies to every message
    // without a BA_); others are counted as skipped.
    void readAttributeDefinition(const QString &keyword)
    {
        const int line = s.startLine();
        if (!s.peek(u'"'))
            s.word();
        const bool cycleTime =
            s.peek(u'"') && s.string(QStringLiteral("%1: the attribute name").arg(keyword)) == cycleTimeAttribute;
        if (s.failed())
            return;
        if (!cycleTime) {
            skip(keyword, line);
        } else if (keyword == u"BA_DEF_DEF_") {
            double value = 0;
            if (parseDouble(s.numberText(), value) && value == std::trunc(value) &&
                std::fabs(value) <= std::numeric_limits<int>::max())
                defaultCycleTime = int(value);
        }
        s.skipStatement();
    }

    // SIG_VALTYPE_ <id> <signal> : <0|1|2> ;  1: float32, 2: float64.
    void readValueType()
    {
        const int line = s.startLine();
        const auto fileId = s.integer<quint32>(QStringLiteral("SIG_VALTYPE_: the identifier"));
        const QString signal = s.name(QStringLiteral("SIG_VALTYPE_: the signal name"));
        s.take(u':');
        const int code = s.integer<int>(QStringLiteral("SIG_VALTYPE_: the type"));
        if (!s.failed() && (code < 0 || code > 2))
            s.fail(QStringLiteral("SIG_VALTYPE_: type %1 is not 0, 1 or 2").arg(code));
        s.endStatement(QStringLiteral("SIG_VALTYPE_"));
        if (s.failed())
            return;
        DataField *field = fieldFor(fileId, signal, QStringLiteral("SIG_VALTYPE_"));
        if (!field)
            return;
        using signaldecode::ValueType;
        const MessageState &state = states[size_t(messageIndex.value(fileId))];
        if (code == 0)
            field->type = state.signedInFile[state.fieldIndex.value(signal)] ? ValueType::Signed : ValueType::Unsigned;
        else
            field->type = code == 1 ? ValueType::Float32 : ValueType::Float64;
        if (signaldecode::check(field->decoderField()) == signaldecode::Status::Ok)
            return;
        warn(line, QStringLiteral("signal %1 is a float%2 of %3 bits; skipped")
                       .arg(field->name)
                       .arg(code == 1 ? 32 : 64)
                       .arg(field->length()));
        drop(fileId, signal);
    }

    // Removes a signal read earlier; the list is compacted at the end.
    void drop(quint32 fileId, const QString &signal)
    {
        MessageState &state = states[size_t(messageIndex.value(fileId))];
        int &index = state.fieldIndex[signal];
        state.dropped[index] = true;
        index = -1;
    }

    void finish()
    {
        QList<Message> &messages = result.network.messages;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            Message &message = messages[i];
            MessageState &state = states[size_t(i)];
            if (state.dropped.contains(true)) {
                QList<DataField> kept;
                QList<int> lines;
                for (qsizetype f = 0; f < message.fields.size(); ++f) {
                    if (!state.dropped[f]) {
                        kept.append(std::move(message.fields[f]));
                        lines.append(state.fieldLines[f]);
                    }
                }
                message.fields = std::move(kept);
                state.fieldLines = std::move(lines);
            }
            checkOverlaps(message, state.fieldLines);
            if (!state.cycleTimeSet)
                message.cycleTime = defaultCycleTime;
            const auto node = nodeIndex.constFind(message.transmitter);
            if (node != nodeIndex.cend())
                message.transmitter = result.network.nodes[*node];
        }
    }

    // Warns about signals that share bits, unless they are multiplexed by
    // different values (they are never in the same frame). Linear: each signal
    // is compared with the union of the bits before it.
    void checkOverlaps(const Message &message, const QList<int> &lines)
    {
        quint64 always = 0;
        quint64 anyMultiplexed = 0;
        QHash<qint64, quint64> byValue;
        for (qsizetype i = 0; i < message.fields.size(); ++i) {
            const DataField &field = message.fields[i];
            const quint64 bits = bitsOf(field);
            const bool multiplexed = field.multiplexValue >= 0;
            quint64 &group = byValue[multiplexed ? field.multiplexValue : -1];
            if (bits & (always | (multiplexed ? group : anyMultiplexed)))
                warn(lines[i],
                     QStringLiteral("signal %1 overlaps another signal of message %2").arg(field.name, message.name));
            (multiplexed ? group : always) |= bits;
            if (multiplexed)
                anyMultiplexed |= bits;
        }
    }

    // The data bits a (valid) field covers, bit n as DBC numbers it.
    static quint64 bitsOf(const DataField &field)
    {
        const int length = field.length();
        if (field.order == signaldecode::ByteOrder::LittleEndian)
            return (length >= 64 ? ~quint64(0) : (quint64(1) << length) - 1) << field.begin;
        quint64 bits = 0;
        int bit = field.begin;
        for (int n = 0; n < length; ++n) {
            bits |= quint64(1) << bit;
            bit = bit % 8 == 0 ? bit + 15 : bit - 1;
        }
        return bits;
    }

    Scanner s;
    ReadResult result;
    std::vector<MessageState> states;
    QHash<quint32, int> messageIndex; // identifier as in the file -> message, -1: not kept
    QSet<quint64> messageKeys;
    QHash<QString, int> nodeIndex; // node name as in the file -> index in nodes
    QHash<QString, int> skippedIndex;
    // The message SG_ lines belong to: an index, or one of these.
    static constexpr int noMessage = -1;
    static constexpr int notKept = -2;
    int current = noMessage;
    int defaultCycleTime = 0;
    bool sawMessage = false;
    bool sawNodes = false;
    bool sawVersion = false;
};

// ---- Writer -----------------------------------------------------------------

// The name as an identifier: other characters become "_", a leading digit
// gets a "_" in front, an empty name becomes `fallback`.
QString sanitized(const QString &name, QStringView fallback)
{
    if (name.isEmpty())
        return fallback.toString();
    QString out = name;
    for (QChar &c : out)
        if (!isNameChar(c))
            c = u'_';
    if (out.front().isDigit())
        out.prepend(u'_');
    return out;
}

// A DBC identifier for each name of one scope, none used twice nor taken from
// `used`: the name itself where it is an identifier still free (these are
// placed first, so that they keep their names), else a made-up one.
QStringList identifiers(const QStringList &names, QStringView fallback, QSet<QString> used)
{
    QStringList out(names.size());
    std::vector<bool> done(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (isIdentifier(names[i]) && !used.contains(names[i])) {
            used.insert(names[i]);
            out[i] = names[i];
            done[size_t(i)] = true;
        }
    }
    QHash<QString, int> nextSuffix;
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (done[size_t(i)])
            continue;
        const QString base = sanitized(names[i], fallback);
        QString candidate = base;
        if (used.contains(candidate)) {
            int &suffix = nextSuffix[base];
            suffix = std::max(suffix, 2);
            do
                candidate = base + u'_' + QString::number(suffix++);
            while (used.contains(candidate));
        }
        used.insert(candidate);
        out[i] = candidate;
    }
    return out;
}

// The comment to write for an object: with the name line when the object was
// written under another name, or when the comment holds a line the reader
// would take for one.
QString commentWithName(const QString &comment, const QString &name, bool renamed)
{
    if (!renamed && nameLineAt(comment) < 0)
        return comment;
    return (comment.isEmpty() ? QString() : comment + u'\n') + nameLinePrefix.toString() + name;
}

class Writer
{
public:
    QByteArray run(const Network &network)
    {
        out.reserve(256 + network.messages.size() * 400);
        out += "VERSION \"\"\n\n\nNS_ :\n";
        for (const char *name : {"NS_DESC_",     "CM_",
                                 "BA_DEF_",      "BA_",
                                 "VAL_",         "CAT_DEF_",
                                 "CAT_",         "FILTER",
                                 "BA_DEF_DEF_",  "EV_DATA_",
                                 "ENVVAR_DATA_", "SGTYPE_",
                                 "SGTYPE_VAL_",  "BA_DEF_SGTYPE_",
                                 "BA_SGTYPE_",   "SIG_TYPE_REF_",
                                 "VAL_TABLE_",   "SIG_GROUP_",
                                 "SIG_VALTYPE_", "SIGTYPE_VALTYPE_",
                                 "BO_TX_BU_",    "BA_DEF_REL_",
                                 "BA_REL_",      "BA_DEF_DEF_REL_",
                                 "BU_SG_REL_",   "BU_EV_REL_",
                                 "BU_BO_REL_",   "SG_MUL_VAL_"})
            out.append("\t").append(name).append("\n");
        out += "\nBS_:\n\nBU_:";
        nameNodes(network);
        for (const QString &node : std::as_const(nodeNames))
            out.append(' ').append(node.toLatin1());
        out += "\n\n";

        QStringList messageNames;
        messageNames.reserve(network.messages.size());
        for (const Message &message : network.messages)
            messageNames.append(message.name);
        messageNames = identifiers(messageNames, u"Message", {});

        for (qsizetype i = 0; i < network.messages.size(); ++i)
            writeMessage(network.messages[i], messageNames[i]);

        out += comments;
        out += "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\n"
               "BA_DEF_DEF_ \"GenMsgCycleTime\" 0;\n";
        out += attributes;
        out += valueTexts;
        out += valueTypes;
        return out;
    }

private:
    // Node names, and the names transmitters are written with: a node's
    // written name, or for a transmitter that names no node the name itself
    // where the reader reads it back unchanged (no node may take it then).
    void nameNodes(const Network &network)
    {
        const QSet<QString> nodeSet(network.nodes.cbegin(), network.nodes.cend());
        QSet<QString> reserved{noNode.toString()};
        QStringList others;
        for (const Message &message : network.messages) {
            const QString &t = message.transmitter;
            if (t.isEmpty() || nodeSet.contains(t) || transmitterNames.contains(t))
                continue;
            if (isNameToken(t) && t != noNode) {
                reserved.insert(t);
                transmitterNames.insert(t, t);
            } else {
                others.append(t);
            }
        }
        nodeNames = identifiers(network.nodes, u"Node", reserved);
        for (qsizetype i = 0; i < network.nodes.size(); ++i) {
            const QString &node = network.nodes[i];
            if (!transmitterNames.contains(node))
                transmitterNames.insert(node, nodeNames[i]);
            if (nodeNames[i] != node) {
                comments += "CM_ BU_ " + nodeNames[i].toLatin1() + ' ';
                quoted(comments, commentWithName(QString(), node, true));
                comments += ";\n";
            }
        }
        // Names that cannot be kept (only an unusual network has them).
        reserved.unite(QSet<QString>(nodeNames.cbegin(), nodeNames.cend()));
        const QStringList otherNames = identifiers(others, u"Node", reserved);
        for (qsizetype i = 0; i < others.size(); ++i)
            transmitterNames.insert(others[i], otherNames[i]);
    }

    void writeMessage(const Message &message, const QString &name)
    {
        const QByteArray id = QByteArray::number(message.id | (message.extended ? extendedMark : 0));
        out += "BO_ " + id + ' ' + name.toLatin1() + ": " + QByteArray::number(message.dlc) + ' ';
        out +=
            message.transmitter.isEmpty() ? noNode.toLatin1() : transmitterNames.value(message.transmitter).toLatin1();
        out += '\n';
        if (message.name != name || !message.comment.isEmpty()) {
            comments += "CM_ BO_ " + id + ' ';
            quoted(comments, commentWithName(message.comment, message.name, message.name != name));
            comments += ";\n";
        }
        if (message.cycleTime != 0)
            attributes += "BA_ \"GenMsgCycleTime\" BO_ " + id + ' ' + QByteArray::number(message.cycleTime) + ";\n";

        QStringList fieldNames;
        fieldNames.reserve(message.fields.size());
        for (const DataField &field : message.fields)
            fieldNames.append(field.name);
        fieldNames = identifiers(fieldNames, u"Signal", {});
        for (qsizetype i = 0; i < message.fields.size(); ++i)
            writeField(id, message.fields[i], fieldNames[i]);
        out += '\n';
    }

    void writeField(const QByteArray &id, const DataField &field, const QString &name)
    {
        using signaldecode::ValueType;
        const QByteArray signal = name.toLatin1();
        out += " SG_ " + signal + ' ';
        if (field.multiplexValue >= 0)
            out += 'm' + QByteArray::number(field.multiplexValue);
        if (field.multiplexor)
            out += 'M';
        if (field.multiplexor || field.multiplexValue >= 0)
            out += ' ';
        out += ": " + QByteArray::number(field.begin) + '|' + QByteArray::number(field.length()) + '@';
        out += field.order == signaldecode::ByteOrder::BigEndian ? '0' : '1';
        out += field.type == ValueType::Unsigned ? '+' : '-';
        out += " (";
        number(out, field.factor);
        out += ',';
        number(out, field.offset);
        out += ") [";
        number(out, field.minimum);
        out += '|';
        number(out, field.maximum);
        out += "] ";
        quoted(out, field.unit);
        out += " Vector__XXX\n";

        if (field.name != name || !field.comment.isEmpty()) {
            comments += "CM_ SG_ " + id + ' ' + signal + ' ';
            quoted(comments, commentWithName(field.comment, field.name, field.name != name));
            comments += ";\n";
        }
        if (!field.valueTexts.isEmpty()) {
            valueTexts += "VAL_ " + id + ' ' + signal;
            for (auto it = field.valueTexts.cbegin(); it != field.valueTexts.cend(); ++it) {
                valueTexts += ' ' + QByteArray::number(it.key()) + ' ';
                quoted(valueTexts, it.value());
            }
            valueTexts += " ;\n";
        }
        if (field.type == ValueType::Float32 || field.type == ValueType::Float64)
            valueTypes +=
                "SIG_VALTYPE_ " + id + ' ' + signal + (field.type == ValueType::Float32 ? " : 1;\n" : " : 2;\n");
    }

    // The shortest text that reads back as the same double.
    static void number(QByteArray &to, double value)
    {
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        to.append(buffer, result.ptr - buffer);
    }

    static void quoted(QByteArray &to, const QString &text)
    {
        QByteArray bytes = text.toUtf8();
        if (bytes.contains('"') || bytes.contains('\\'))
            bytes.replace('\\', "\\\\").replace('"', "\\\"");
        to += '"' + bytes + '"';
    }

    QByteArray out;
    // Sections written after the messages, filled while they are written.
    QByteArray comments;
    QByteArray attributes;
    QByteArray valueTexts;
    QByteArray valueTypes;
    QStringList nodeNames;
    QHash<QString, QString> transmitterNames; // transmitter -> name written
};

} // namespace

bool Message::operator==(const Message &other) const
{
    return id == other.id && extended == other.extended && name == other.name && dlc == other.dlc &&
           transmitter == other.transmitter && comment == other.comment && cycleTime == other.cycleTime &&
           fields == other.fields;
}

ReadResult read(const QByteArray &bytes)
{
    const QString text = decodeText(bytes);
    return Reader(text).run();
}

QByteArray write(const Network &network)
{
    return Writer().run(network);
}

} // namespace dbc
