// The DBC reader fed arbitrary files, and every network it reads written and
// read back.
//
// Input: the whole input is the file.
//
// Checks: a failed read names its line (or says it is no DBC file) and hands
// over no network; a successful one holds only what Tessel can hold: fields
// the decoder accepts, identifiers in range, skipped kinds counted from their
// first line, warnings naming theirs. The network written again reads back
// equal, with nothing skipped, and writing it once more gives the same bytes.
#include "fuzz/fuzzcheck.h"
#include "candb/dbc.h"

namespace {

void checkNetwork(const dbc::Network &network)
{
    for (const dbc::Message &m : network.messages) {
        FUZZ_CHECK(m.id <= (m.extended ? 0x1FFFFFFFu : 0x7FFu));
        FUZZ_CHECK(m.dlc >= 0 && m.line > 0);
        for (const DataField &f : m.fields) {
            FUZZ_CHECK(signaldecode::check(f.decoderField()) == signaldecode::Status::Ok);
            FUZZ_CHECK(f.multiplexValue >= -1);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const dbc::ReadResult r = dbc::read(bytes);
    if (!r.ok) {
        FUZZ_CHECK(r.network == dbc::Network());
        FUZZ_CHECK(r.errorLine >= 0);
        FUZZ_CHECK(r.errorLine == 0 ? r.error.startsWith(QLatin1String("not a DBC file"))
                                    : r.error.startsWith(QStringLiteral("Line %1: ").arg(r.errorLine)));
        return 0;
    }
    FUZZ_CHECK(r.error.isEmpty());
    checkNetwork(r.network);
    for (const dbc::Skipped &s : r.skipped)
        FUZZ_CHECK(s.count >= 1 && s.firstLine >= 1 && !s.kind.isEmpty());
    for (const QString &w : r.warnings)
        FUZZ_CHECK(w.startsWith(QLatin1String("Line ")));

    const QByteArray written = dbc::write(r.network);
    const dbc::ReadResult back = dbc::read(written);
    FUZZ_CHECK(back.ok);
    FUZZ_CHECK(back.skipped.isEmpty());
    FUZZ_CHECK(back.network == r.network);
    FUZZ_CHECK(dbc::write(back.network) == written);
    return 0;
}
