// TZipReader: the operations that run the extraction engine (to files, a stream, memory).
#include "zip/TZipReader.h"

#include "zip/ZipExtractor.h"

namespace qv {

// One operation of the extraction engine: the cancel flag starts clear, the component is busy and
// keeps the archive open throughout; afterwards, also when the body throws, KeepZipOpen is
// restored, the archive closed and the flags cleared. A whole run (not a single entry to a stream
// or buffer) also empties FilesList and reports OnUnZipComplete.
int TZipReader::runOperation(const std::function<int()> &body, bool wholeRun)
{
    const bool keepOpen = KeepZipOpen;
    int result = 0;
    auto finish = [&]() {
        m_busy = false;
        m_cancel.store(false);
        KeepZipOpen = keepOpen;
        CloseZip();
        if (wholeRun) {
            FilesList.clear();
            if (OnUnZipComplete) {
                OnUnZipComplete(result);
            }
        }
    };
    try {
        m_cancel.store(false);
        OpenZip();
        m_busy = true;
        KeepZipOpen = true;
        result = body();
    } catch (...) {
        result = 0;
        finish();
        throw;
    }
    finish();
    return result;
}

int TZipReader::UnZip()
{
    if (m_destDir == "?") {
        return 0;
    }
    ZipExtractor engine(*this);
    return runOperation([&] { return engine.run(ZipExtractor::Target::File); }, true);
}

int TZipReader::TestZip()
{
    ZipExtractor engine(*this);
    return runOperation([&] { return engine.run(ZipExtractor::Target::Test); }, true);
}

bool TZipReader::UnZipToStream(TStream &stream, const std::string &name)
{
    ZipExtractor engine(*this);
    return runOperation([&] { return engine.runToStream(stream, name) ? 1 : 0; }, false) != 0;
}

bool TZipReader::UnZipToMemory(std::vector<std::uint8_t> &buffer, const std::string &name)
{
    TMemoryStream ms;
    ZipExtractor engine(*this);
    engine.setMemoryTarget(true);
    const bool ok = runOperation([&] { return engine.runToStream(ms, name) ? 1 : 0; }, false) != 0;
    buffer = std::move(ms.Data());
    return ok;
}

bool TZipReader::UnZipToBuffer(std::uint8_t *buffer, std::size_t size, const std::string &name, std::size_t &used)
{
    ZipMemoryTarget target(buffer, size, name, OnGetNextBuffer);
    ZipExtractor engine(*this);
    const bool ok = runOperation([&] { return engine.runToStream(target, name) ? 1 : 0; }, false) != 0;
    used = target.used();
    return ok;
}

} // namespace qv
