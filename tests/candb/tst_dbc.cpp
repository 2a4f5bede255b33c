// The DBC reader and writer: signal layouts, encodings, what is skipped or
// refused, and networks with awkward names written and read back.
#include "candb/dbc.h"
#include "support/testregistry.h"

#include <QRegularExpression>
#include <QtTest>

#include <cfloat>

using signaldecode::ByteOrder;
using signaldecode::ValueType;

namespace {

// Everything a field holds, in one line.
QString describe(const DataField &f)
{
    const auto n = [](double v) { return QString::number(v, 'g', QLocale::FloatingPointShortest); };
    const char *types[] = {"u", "s", "f32", "f64"};
    return QStringLiteral("%1+%2 %3 %4 *%5 %6 [%7,%8] '%9'")
               .arg(f.begin)
               .arg(f.length())
               .arg(f.order == ByteOrder::BigEndian ? "be" : "le")
               .arg(types[int(f.type)])
               .arg(n(f.factor), n(f.offset), n(f.minimum), n(f.maximum), f.unit) +
           (f.multiplexor ? " M" : "") + (f.multiplexValue >= 0 ? QStringLiteral(" m%1").arg(f.multiplexValue) : "");
}

// The line numbers the warnings name.
QList<int> warningLines(const dbc::ReadResult &r)
{
    QList<int> lines;
    static const QRegularExpression number(QStringLiteral("^Line (\\d+): "));
    for (const QString &w : r.warnings)
        lines << number.match(w).captured(1).toInt();
    return lines;
}

QStringList fieldNames(const dbc::Network &network)
{
    QStringList names;
    for (const dbc::Message &m : network.messages)
        for (const DataField &f : m.fields)
            names << m.name + "." + f.name;
    return names;
}

DataField field(const QString &name, int begin, int length, ByteOrder order = ByteOrder::LittleEndian)
{
    DataField f;
    f.name = name;
    f.begin = begin;
    f.end = begin + length - 1;
    f.order = order;
    return f;
}

// Line 1 is the message; the rows' lines follow from line 2.
const QByteArray engine = "BO_ 291 Engine: 8 ECU\n";

} // namespace

class tst_Dbc : public QObject
{
    Q_OBJECT

private slots:
    void signalLayouts_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("field");
        QTest::newRow("the header's example")
            << QByteArray(R"( SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] "km/h" Vector__XXX)")
            << "7+16 be u *0.01 0 [0,655.35] 'km/h'";
        QTest::newRow("little-endian from an odd bit")
            << QByteArray(R"( SG_ A : 13|19@1+ (0.5,-40) [-40|100] "km/h" Vector__XXX)")
            << "13+19 le u *0.5 -40 [-40,100] 'km/h'";
        QTest::newRow("big-endian signed, negative factor")
            << QByteArray(R"( SG_ A : 3|12@0- (-0.25,1E3) [-1.5e-3|0] "")") << "3+12 be s *-0.25 1000 [-0.0015,0] ''";
        QTest::newRow("64 bits big-endian") << QByteArray(R"( SG_ A : 7|64@0+ (1,0) [0|1.8446744073709552E+19] "")")
                                            << "7+64 be u *1 0 [0,18446744073709552000] ''";
        QTest::newRow("64 bits little-endian signed")
            << QByteArray(R"( SG_ A : 0|64@1- (1e-3,-0.5) [0|0] "")") << "0+64 le s *0.001 -0.5 [0,0] ''";
        QTest::newRow("big-endian from the last byte's low bit")
            << QByteArray(R"( SG_ A : 56|1@0+ (1,0) [0|1] "")") << "56+1 be u *1 0 [0,1] ''";
        QTest::newRow("multiplexor") << QByteArray(R"( SG_ A M : 0|8@1+ (1,0) [0|0] "")") << "0+8 le u *1 0 [0,0] '' M";
        QTest::newRow("multiplexed") << QByteArray(R"( SG_ A m12 : 8|8@1+ (1,0) [0|0] "")")
                                     << "8+8 le u *1 0 [0,0] '' m12";
        QTest::newRow("float32") << QByteArray(" SG_ A : 32|32@1- (1,0) [0|0] \"\"\nSIG_VALTYPE_ 291 A : 1;")
                                 << "32+32 le f32 *1 0 [0,0] ''";
        QTest::newRow("float64 big-endian")
            << QByteArray(" SG_ A : 7|64@0- (2,0) [0|0] \"\"\nSIG_VALTYPE_ 291 A : 2;") << "7+64 be f64 *2 0 [0,0] ''";
        QTest::newRow("float made an integer again keeps its sign")
            << QByteArray(" SG_ A : 0|32@1- (1,0) [0|0] \"\"\nSIG_VALTYPE_ 291 A : 1;\nSIG_VALTYPE_ 291 A : 0;")
            << "0+32 le s *1 0 [0,0] ''";
        QTest::newRow("tight spacing, plus signs")
            << QByteArray(R"( SG_ A:0|1@1+(+1,+0)[0|1]"")") << "0+1 le u *1 0 [0,1] ''";
    }
    void signalLayouts()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, field);
        const dbc::ReadResult r = dbc::read(engine + lines + "\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.warnings, QStringList());
        QCOMPARE(r.network.messages.size(), 1);
        QCOMPARE(r.network.messages[0].fields.size(), 1);
        QCOMPARE(describe(r.network.messages[0].fields[0]), field);
    }

    // A file as tools write it: header blocks, nodes, an extended identifier,
    // DLC 0, comments over several lines, value texts and cycle times.
    void wholeFile()
    {
        const QByteArray text = R"(VERSION "1.0"

NS_ :
	NS_DESC_
	CM_

BS_:

BU_: ECU Dash

BO_ 2147488294 Status: 0 Vector__XXX

BO_ 291 Engine: 8 ECU
 SG_ Speed : 7|16@0+ (0.01,0) [0|655.35] "km/h" Dash
 SG_ Gear : 16|4@1- (1,0) [-1|6] "" Vector__XXX

)"
                                // Escapes written plainly: moc misreads backslashes in raw strings.
                                "CM_ BO_ 291 \"Engine data,\nsent by the \\\"ECU\\\"\nto C:\\\\Dash\\\\\";\n"
                                R"(CM_ SG_ 291 Gear "-1 is reverse";
BA_DEF_ BO_ "GenMsgCycleTime" INT 0 65535;
BA_DEF_DEF_ "GenMsgCycleTime" 100;
BA_ "GenMsgCycleTime" BO_ 291 10;
VAL_ 291 Gear -1 "R" 0 "N" 1 "First" ;
)";
        const dbc::ReadResult r = dbc::read(text);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.warnings, QStringList());
        QCOMPARE(r.skipped.size(), 1); // Dash receives Speed
        QCOMPARE(r.network.nodes, QStringList({"ECU", "Dash"}));
        QCOMPARE(r.network.messages.size(), 2);
        const dbc::Message &status = r.network.messages[0];
        QCOMPARE(QString("%1 %2 %3 %4 '%5' %6 %7")
                     .arg(status.id, 0, 16)
                     .arg(status.extended)
                     .arg(status.name)
                     .arg(status.dlc)
                     .arg(status.transmitter)
                     .arg(status.cycleTime)
                     .arg(status.line),
                 QString("1226 1 Status 0 '' 100 11"));
        const dbc::Message &engineMessage = r.network.messages[1];
        QCOMPARE(engineMessage.comment, QString("Engine data,\nsent by the \"ECU\"\nto C:\\Dash\\"));
        QCOMPARE(
            QString("%1 %2 %3").arg(engineMessage.transmitter).arg(engineMessage.cycleTime).arg(engineMessage.line),
            QString("ECU 10 13"));
        QCOMPARE(fieldNames(r.network), QStringList({"Engine.Speed", "Engine.Gear"}));
        const DataField &gear = engineMessage.fields[1];
        QCOMPARE(gear.comment, QString("-1 is reverse"));
        QCOMPARE(gear.valueTexts, (QMap<qint64, QString>{{-1, "R"}, {0, "N"}, {1, "First"}}));
    }

    // Frames decoded with fields as read, against values worked out by hand.
    void decodesReadFields()
    {
        const dbc::ReadResult r = dbc::read(engine + R"( SG_ Speed : 7|16@0+ (0.01,0) [0|0] ""
 SG_ Temp : 20|12@1- (0.5,-10) [0|0] ""
)");
        QVERIFY2(r.ok, qPrintable(r.error));
        const quint8 data[8] = {0x12, 0x34, 0x56, 0xF0, 0, 0, 0, 0};
        // Speed: bytes 0-1 big-endian, 0x1234 = 4660 -> 46.6.
        const signaldecode::Value speed = signaldecode::decode(r.network.messages[0].fields[0].decoderField(), data);
        QCOMPARE(speed.raw, quint64(0x1234));
        QCOMPARE(speed.value, 46.6);
        // Temp: bits 20..31 = high nibble of 0x56 (5) below 0xF0 -> 0xF05 = 3845,
        // negative in 12 bits: 3845 - 4096 = -251 -> -251 * 0.5 - 10 = -135.5.
        const signaldecode::Value temp = signaldecode::decode(r.network.messages[0].fields[1].decoderField(), data);
        QCOMPARE(temp.raw, quint64(0xF05));
        QCOMPARE(temp.value, -135.5);
    }

    void encodings_data()
    {
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<QByteArray>("comment");
        QTest::addColumn<QString>("read");
        QTest::newRow("UTF-8") << QByteArray("\xC2\xB0"
                                             "C")
                               << QByteArray("\xE2\x82\xAC") << QString("°C €");
        QTest::newRow("Windows-1252 degree and euro") << QByteArray("\xB0"
                                                                    "C")
                                                      << QByteArray("\x80") << "°C €";
        QTest::newRow("Windows-1252 quotes and dashes") << QByteArray("\x93"
                                                                      "x\x94")
                                                        << QByteArray("\x96\x97\x85\x9F") << QString("“x” –—…Ÿ");
        QTest::newRow("one bad byte makes the whole file Windows-1252")
            << QByteArray("\xC2\xB0") << QByteArray("\x80") << QString("Â° €");
        QTest::newRow("UTF-8 cut off at the end is not UTF-8")
            << QByteArray("\xC2\xB0") << QByteArray("\xC2") << QString("Â° Â");
    }
    void encodings()
    {
        QFETCH(QByteArray, unit);
        QFETCH(QByteArray, comment);
        QFETCH(QString, read);
        const dbc::ReadResult r =
            dbc::read(engine + " SG_ A : 0|8@1+ (1,0) [0|0] \"" + unit + "\"\nCM_ SG_ 291 A \"" + comment + "\";");
        QVERIFY2(r.ok, qPrintable(r.error));
        const DataField &f = r.network.messages[0].fields[0];
        QCOMPARE(f.unit + " " + f.comment, read);
    }

    // What Tessel cannot hold is counted by kind with its first line, the rest still read.
    void skippedConstructs()
    {
        const QByteArray text = R"(VERSION ""
ODD_
BU_: ECU Dash
BO_ 291 Engine: 8 ECU
 SG_ A M : 0|8@1+ (1,0) [0|0] "" Dash,ECU
 SG_ B m1 : 8|8@1+ (1,0) [0|0] "" Dash
VAL_TABLE_ Onoff 1 "on" 0 "off" ;
BA_DEF_ SG_ "GenSigStartValue" INT 0 100;
BA_ "GenSigStartValue" SG_ 291 A 5;
BA_ "GenSigStartValue" SG_ 291 B 6;
CM_ "The whole network";
CM_ BU_ Dash "The dashboard";
CM_ EV_ Heat "a variable";
EV_ Heat: 0 [0|1] "" 0 1 DUMMY_NODE_VECTOR0 Vector__XXX;
SIG_GROUP_ 291 Group 1 : A B;
BO_TX_BU_ 291 : ECU,Dash;
SG_MUL_VAL_ 291 B A 1-1;
FANCY_ "spans
two lines" 1
  and a third;
VAL_ 291 A 1 "one" ;
)"
                                "\u00A0stray line\n"; // a no-break space is no white space here
        const dbc::ReadResult r = dbc::read(text);
        QVERIFY2(r.ok, qPrintable(r.error));
        QStringList kinds;
        for (const dbc::Skipped &s : r.skipped)
            kinds << QString("%1 x%2 @%3").arg(s.kind).arg(s.count).arg(s.firstLine);
        QCOMPARE(kinds, QStringList({"ODD_ x1 @2", "SG_ receivers x2 @5", "VAL_TABLE_ x1 @7", "BA_DEF_ x1 @8",
                                     "BA_ GenSigStartValue x2 @9", "CM_ x1 @11", "CM_ BU_ x1 @12", "CM_ EV_ x1 @13",
                                     "EV_ x1 @14", "SIG_GROUP_ x1 @15", "BO_TX_BU_ x1 @16", "SG_MUL_VAL_ x1 @17",
                                     "FANCY_ x1 @18", "\u00A0stray x1 @22"}));
        QCOMPARE(r.warnings, QStringList());
        QCOMPARE(r.network.messages[0].fields[0].valueTexts, (QMap<qint64, QString>{{1, "one"}}));
    }

    // Content that cannot be kept is skipped, doubtful content kept, each with
    // a warning naming its line.
    void badContent_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QList<int>>("warned");
        QTest::addColumn<QStringList>("kept");
        const QByteArray a = " SG_ A : 0|8@1+ (1,0) [0|0] \"\"\n";
        QTest::newRow("little-endian past bit 63")
            << engine + QByteArray(" SG_ A : 60|8@1+ (1,0) [0|0] \"\"") << QList<int>{2} << QStringList();
        QTest::newRow("big-endian past byte 7")
            << engine + QByteArray(" SG_ A : 60|8@0+ (1,0) [0|0] \"\"") << QList<int>{2} << QStringList();
        QTest::newRow("length 0") << engine + QByteArray(" SG_ A : 0|0@1+ (1,0) [0|0] \"\"") << QList<int>{2}
                                  << QStringList();
        QTest::newRow("length 65") << engine + QByteArray(" SG_ A : 0|65@1+ (1,0) [0|0] \"\"") << QList<int>{2}
                                   << QStringList();
        QTest::newRow("float32 of 16 bits, and its value texts")
            << engine + QByteArray(" SG_ A : 0|16@1- (1,0) [0|0] \"\"\nSIG_VALTYPE_ 291 A : 1;\nVAL_ 291 A 1 \"x\";")
            << QList<int>{3} << QStringList();
        QTest::newRow("name used twice") << engine + a + a << QList<int>{3} << QStringList{"Engine.A"};
        QTest::newRow("identifier used twice") << engine + a + "BO_ 291 Other: 8 ECU\n SG_ B : 0|8@1+ (1,0) [0|0] \"\""
                                               << QList<int>{3} << QStringList{"Engine.A"};
        QTest::newRow("standard identifier beyond 11 bits")
            << engine + QByteArray("BO_ 2048 Wide: 8 ECU\nCM_ BO_ 2048 \"x\";") << QList<int>{2} << QStringList();
        QTest::newRow("statements for unknown objects")
            << engine + a +
                   "VAL_ 291 B 1 \"x\";\nCM_ BO_ 999 \"x\";\nBA_ \"GenMsgCycleTime\" BO_ 999 10;\nCM_ BU_ Nobody \"x\";"
            << QList<int>{3, 4, 5, 6} << QStringList{"Engine.A"};
        QTest::newRow("factor 0 is kept")
            << engine + QByteArray(" SG_ A : 0|8@1+ (0,1) [0|0] \"\"") << QList<int>{2} << QStringList{"Engine.A"};
        QTest::newRow("overlap is kept") << engine + a + " SG_ B : 4|8@1+ (1,0) [0|0] \"\"" << QList<int>{3}
                                         << QStringList{"Engine.A", "Engine.B"};
        QTest::newRow("big-endian over a little-endian byte")
            << engine + QByteArray(" SG_ A : 7|16@0+ (1,0) [0|0] \"\"\n SG_ B : 15|1@1+ (1,0) [0|0] \"\"")
            << QList<int>{3} << QStringList{"Engine.A", "Engine.B"};
        QTest::newRow("alternatives of one multiplexor share bits")
            << engine + QByteArray(" SG_ M M : 0|8@1+ (1,0) [0|0] \"\"\n SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\"\n"
                                   " SG_ B m2 : 8|16@1+ (1,0) [0|0] \"\"")
            << QList<int>() << QStringList{"Engine.M", "Engine.A", "Engine.B"};
        QTest::newRow("a multiplexed signal over a plain one")
            << engine + QByteArray(" SG_ A m1 : 8|8@1+ (1,0) [0|0] \"\"\n SG_ M M : 0|8@1+ (1,0) [0|0] \"\"\n"
                                   " SG_ C : 12|4@1+ (1,0) [0|0] \"\"")
            << QList<int>{4} << QStringList{"Engine.A", "Engine.M", "Engine.C"};
        QTest::newRow("signal before any message")
            << QByteArray(" SG_ A : 0|8@1+ (1,0) [0|0] \"\"\n") + engine << QList<int>{1} << QStringList();
    }
    void badContent()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QList<int>, warned);
        QFETCH(QStringList, kept);
        const dbc::ReadResult r = dbc::read(lines + "\n");
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(warningLines(r), warned);
        QCOMPARE(fieldNames(r.network), kept);
    }

    void malformed_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::newRow("identifier not a number") << QByteArray("VERSION \"\"\nBO_ 12x Engine: 8 ECU") << 2;
        QTest::newRow("no colon after the name") << QByteArray("BO_ 1 Engine 8 ECU") << 1;
        QTest::newRow("no bit range") << engine + " SG_ A : 0 8@1+ (1,0) [0|0] \"\"" << 2;
        QTest::newRow("byte order 2") << engine + " SG_ A : 0|8@2+ (1,0) [0|0] \"\"" << 2;
        QTest::newRow("factor not a number") << engine + " SG_ A : 0|8@1+ (x,0) [0|0] \"\"" << 2;
        QTest::newRow("factor beyond a double") << engine + " SG_ A : 0|8@1+ (1e999,0) [0|0] \"\"" << 2;
        QTest::newRow("text after the receivers") << engine + " SG_ A : 0|8@1+ (1,0) [0|0] \"\" ECU ;" << 2;
        QTest::newRow("bad multiplex indicator") << engine + " SG_ A mx : 0|8@1+ (1,0) [0|0] \"\"" << 2;
        QTest::newRow("VAL_ without its end") << engine + " SG_ A : 0|8@1+ (1,0) [0|0] \"\"\nVAL_ 291 A 1 \"one\"" << 3;
        QTest::newRow("unterminated comment") << engine + "\nCM_ BO_ 291 \"never\nclosed;\n" << 3;
        QTest::newRow("value type 3") << engine + " SG_ A : 0|8@1+ (1,0) [0|0] \"\"\nSIG_VALTYPE_ 291 A : 3;" << 3;
        QTest::newRow("cycle time not a number") << engine + "BA_ \"GenMsgCycleTime\" BO_ 291 fast;" << 2;
        QTest::newRow("node name with a dash") << QByteArray("BU_: ECU Dash-1") << 1;
        QTest::newRow("empty file") << QByteArray() << 0;
        QTest::newRow("binary garbage") << QByteArray("\x00\x01\xFF\xFE garbage\n\x89PNG", 14) << 0;
    }
    void malformed()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        const dbc::ReadResult r = dbc::read(text);
        QVERIFY(!r.ok);
        QCOMPARE(r.errorLine, line);
        QVERIFY2(line ? r.error.startsWith(QString("Line %1: ").arg(line)) : r.error.startsWith("not a DBC file"),
                 qPrintable(r.error));
        QCOMPARE(r.network, dbc::Network());
    }

    // Any names, comments and numbers come back as they were; the file holds
    // only identifiers, each once in its scope.
    void writeThenRead()
    {
        dbc::Network network;
        network.nodes = {"Motor ECU", "Ölpumpe", "", "Vector__XXX", "Motor_ECU", "Motor ECU"};
        dbc::Message m;
        m.id = 0x12345;
        m.extended = true;
        m.name = "Engine data";
        m.dlc = 0;
        m.transmitter = "Ölpumpe";
        m.comment = "A \"quoted\" C:\\path\\\nTessel name: not mine";
        m.cycleTime = 250;
        DataField a = field("a b", 7, 64, ByteOrder::BigEndian);
        a.type = ValueType::Float64;
        a.factor = 0.1;
        a.offset = -DBL_MAX;
        a.minimum = 5e-324;
        a.maximum = 1.0 / 3;
        a.unit = "°C \"\\";
        a.comment = "two\nlines";
        a.valueTexts = {{-5, "minus five"}, {std::numeric_limits<qint64>::max(), ""}};
        m.fields = {a};
        dbc::Message n;
        n.id = 0x7FF;
        n.transmitter = "Gateway"; // no node of the network
        DataField mux = field("", 0, 8);
        mux.multiplexor = true;
        DataField b = field("", 8, 32);
        b.type = ValueType::Float32;
        b.multiplexValue = 3;
        DataField c = field("a_b", 8, 4);
        c.multiplexValue = 4;
        c.type = ValueType::Signed;
        c.comment = "Tessel name: looks like a name";
        n.fields = {mux, b, c, field("a b", 40, 8), field("123", 48, 8)};
        dbc::Message empty;
        empty.id = 1;
        empty.transmitter = "Motor_ECU";
        network.messages = {m, n, empty};
        network.messages[2].name = "Engine_data";

        const QByteArray text = dbc::write(network);
        const dbc::ReadResult r = dbc::read(text);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.warnings, QStringList());
        QCOMPARE(r.skipped.size(), 0);
        QCOMPARE(QString::fromUtf8(dbc::write(r.network)), QString::fromUtf8(text));
        QVERIFY(r.network == network);

        // Names as written: nodes, then each message with its signals.
        const QRegularExpression identifier(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
        QList<QStringList> scopes;
        for (const QByteArray &line : text.split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words[0] == "BU_:")
                scopes << QString::fromUtf8(line.mid(5)).split(' ');
            else if (words[0] == "BO_")
                scopes << (QStringList() << QString::fromUtf8(words[2]).chopped(1));
            else if (words[0] == "SG_")
                scopes.last() << QString::fromUtf8(words[1]);
        }
        QCOMPARE(scopes[0],
                 QStringList({"Motor_ECU_2", "_lpumpe", "Node", "Vector__XXX_2", "Motor_ECU", "Motor_ECU_3"}));
        QStringList messageNames;
        for (const QStringList &scope : std::as_const(scopes)) {
            messageNames << scope[0];
            for (const QString &name : scope)
                QVERIFY2(identifier.match(name).hasMatch(), qPrintable(name));
            QCOMPARE(QSet<QString>(scope.begin(), scope.end()).size(), scope.size());
        }
        QCOMPARE(messageNames.mid(1), QStringList({"Engine_data_2", "Message", "Engine_data"}));
    }
};

TESSEL_TEST(tst_Dbc)
#include "tst_dbc.moc"
