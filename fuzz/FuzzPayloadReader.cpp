// Feeds arbitrary bytes to the payload reader the way extraction does, in pieces whose sizes come
// from the input itself, and checks what it hands on: every record before any content, content only
// for an entry that was started, and never more content than the input held.

#include "containers/EntryPath.h"
#include "containers/PayloadReader.h"

#include <cstddef>
#include <cstdint>

namespace {

struct Checker : PayloadReader::Sink
{
    int records = -1;
    int current = -1;
    qint64 bytes = 0;

    bool begin(const QVector<PayloadRecord>& list) override
    {
        if (records >= 0)
            __builtin_trap(); // the header comes once
        records = list.size();
        for (const PayloadRecord& record : list)
            EntryPath::isSafeName(record.name);
        return true;
    }
    bool entry(int index) override
    {
        if (index != current + 1 || index >= records)
            __builtin_trap(); // entries come in order, each once
        current = index;
        return true;
    }
    bool content(const char*, qint64 length) override
    {
        if (current < 0 || length <= 0)
            __builtin_trap();
        bytes += length;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    // The first byte picks the piece size, so that every way of cutting the stream is tried.
    const size_t piece = size_t(data[0]) + 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    const qint64 length = qint64(size - 1);
    Checker checker;
    PayloadReader reader(&checker);
    bool ok = true;
    for (qint64 pos = 0; ok && pos < length; pos += qint64(piece))
        ok = reader.feed(bytes + pos, qMin<qint64>(qint64(piece), length - pos));
    if (ok)
        reader.finish();
    if (checker.bytes > length)
        __builtin_trap(); // never more than the input holds
    if (reader.status() == PayloadReader::Status::Ok && checker.records >= 0
        && checker.current != checker.records - 1)
        __builtin_trap(); // a finished payload has started every entry
    return 0;
}
