// Shared fixtures of the compress backup tests: runs in place, archive oracles.
#pragma once

#include "EngineTestSupport.h"

#include "core/engine/CompressBackup.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace compresstest {

using namespace enginetest;

// A recording host that also lets a test act on each line as it is logged.
class HookedHost : public RecordingHost
{
public:
    void log(int kind, const std::string &text) override
    {
        RecordingHost::log(kind, text);
        if (onLog) {
            onLog(kind, text);
        }
    }
    std::function<void(int, const std::string &)> onLog;
};

struct CompressRun {
    HookedHost host;
    std::unique_ptr<qv::TCompressBackup> backup;
};

inline std::shared_ptr<qv::RunSnapshot> compressSnapshot(const std::vector<std::string> &sources,
                                                         const std::string &archive)
{
    auto s = makeSnapshot(sources, archive.substr(0, archive.rfind('/') + 1));
    s->compressUse = true;
    s->compressFilePath = archive;
    return s;
}

// Runs a compress backup in the calling thread. `prepare` may hook the host before the run.
inline std::unique_ptr<CompressRun> runCompress(std::shared_ptr<qv::RunSnapshot> snapshot, bool removeEntries = false,
                                                qv::BackupServices services = {},
                                                const std::function<void(CompressRun &)> &prepare = {})
{
    auto r = std::make_unique<CompressRun>();
    r->backup = std::make_unique<qv::TCompressBackup>(snapshot, &r->host, removeEntries, services);
    if (prepare) {
        prepare(*r);
    }
    r->backup->runInPlace();
    return r;
}

// The names of an archive as Info-ZIP lists them, one per line.
inline std::vector<std::string> zipNames(const std::string &archive)
{
    auto r = qvtest::runCommand({"zipinfo", "-1", archive});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start < r.output.size()) {
        std::size_t end = r.output.find('\n', start);
        if (end == std::string::npos) {
            end = r.output.size();
        }
        if (end > start) {
            names.push_back(r.output.substr(start, end - start));
        }
        start = end + 1;
    }
    return names;
}

inline std::string unzipContent(const std::string &archive, const std::string &name, const std::string &password = {})
{
    std::vector<std::string> argv = {"unzip", "-p"};
    if (!password.empty()) {
        argv.push_back("-P");
        argv.push_back(password);
    }
    argv.push_back(archive);
    argv.push_back(name);
    return qvtest::runCommand(argv).output;
}

// Each entry's local header and data, hashed, as python's zipfile finds them: a kept entry must
// stay byte for byte the same.
inline std::map<std::string, std::string> rawEntries(const std::string &archive)
{
    const std::string script =
        "import hashlib,struct,sys,zipfile\n"
        "f=open(sys.argv[1],'rb')\n"
        "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
        "    f.seek(i.header_offset); h=f.read(30)\n"
        "    n,e=struct.unpack('<HH',h[26:30]); rest=f.read(n+e+i.compress_size)\n"
        "    print(i.filename+'\\t'+hashlib.sha1(h[4:]+rest).hexdigest())\n";
    auto r = qvtest::runCommand({"python3", "-c", script, archive});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::map<std::string, std::string> out;
    std::size_t start = 0;
    while (start < r.output.size()) {
        std::size_t end = r.output.find('\n', start);
        const std::string line = r.output.substr(start, end - start);
        const std::size_t tab = line.find('\t');
        if (tab != std::string::npos) {
            out[line.substr(0, tab)] = line.substr(tab + 1);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}

inline std::string archiveComment(const std::string &archive)
{
    auto r = qvtest::runCommand(
        {"python3", "-c", "import sys,zipfile;sys.stdout.write(zipfile.ZipFile(sys.argv[1]).comment.decode())", archive});
    return r.output;
}

} // namespace compresstest
