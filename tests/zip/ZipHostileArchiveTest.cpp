// Archives that are not what they claim: entries whose data overlap (the "zip bomb" that reuses one
// local record for many entries) and files that are no archive at all. Every way in refuses them.
// qv-test-labels: interop
// qv-test-timeout: 300
#include "ZipTestUtil.h"
#include "zip/ZipWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// one.zip: a single deflated entry of 1 MiB of zeros. bomb.zip: the same local record, named by
// 20 central records. into-directory.zip: one stored entry whose size runs into the directory.
const char *kCraft = R"PY(
import struct
z = zipfile.ZipFile('one.zip', 'w', zipfile.ZIP_DEFLATED)
z.writestr('f00.bin', bytes(1 << 20))
z.writestr('g00.txt', b'plain text, stored or not')
z.close()
raw = open('one.zip', 'rb').read()
eocd = raw.rfind(b'PK\x05\x06')
cdoff = struct.unpack('<I', raw[eocd + 16:eocd + 20])[0]
n, m, k = struct.unpack('<HHH', raw[cdoff + 28:cdoff + 34])
rec = raw[cdoff:cdoff + 46 + n + m + k]
first = raw[:struct.unpack('<I', raw[cdoff + 46 + n + m + k + 42:cdoff + 46 + n + m + k + 46])[0]]
recs = b''.join(rec[:46] + ('f%02d.bin' % i).encode() + rec[46 + n:] for i in range(20))
end = lambda count, size, off: struct.pack('<IHHHHIIH', 0x06054b50, 0, 0, count, count, size, off, 0)
open('bomb.zip', 'wb').write(first + recs + end(20, len(recs), len(first)))
z = zipfile.ZipFile('small.zip', 'w', zipfile.ZIP_STORED)
z.writestr('s.txt', b'hello')
z.close()
raw = bytearray(open('small.zip', 'rb').read())
eocd = raw.rfind(b'PK\x05\x06')
cdoff = struct.unpack('<I', raw[eocd + 16:eocd + 20])[0]
raw[cdoff + 20:cdoff + 28] = struct.pack('<II', 5 + 40, 5 + 40)
open('into-directory.zip', 'wb').write(bytes(raw))
open('empty.zip', 'wb').close()
open('text.zip', 'w').write('this is not an archive\n')
)PY";

class ZipHostileArchive : public ::testing::Test
{
protected:
    void SetUp() override
    {
        dir = qvtest::makeTempDir("hostile");
        ziptest::python(dir, kCraft);
    }
    qvtest::CommandResult qvZip(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv = {qvtest::binPath("qv-zip")};
        argv.insert(argv.end(), args.begin(), args.end());
        return qvtest::runCommand(argv, 120);
    }
    std::string dir;
};

// Listing, testing and extracting each refuse the archive with one clear line; nothing is written.
// The same commands take the honest archive the bomb was made from.
TEST_F(ZipHostileArchive, OverlappingEntriesAreRefusedEverywhere)
{
    QV_REQUIRE_TOOL("unzip");
    const auto peer = qvtest::runCommand({"unzip", "-t", dir + "/bomb.zip"});
    EXPECT_NE(peer.exitCode, 0) << "unzip takes the bomb: " << peer.output;
    EXPECT_NE(peer.output.find("overlap"), std::string::npos) << peer.output;
    for (const char *name : {"one.zip", "bomb.zip", "into-directory.zip"}) {
        SCOPED_TRACE(name);
        const bool honest = std::string(name) == "one.zip";
        const std::string zip = dir + "/" + name;
        const std::string out = dir + "/out-" + name;
        const std::vector<std::vector<std::string>> commands = {{"l", zip}, {"t", zip}, {"x", zip, out}};
        for (const auto &args : commands) {
            SCOPED_TRACE(args[0]);
            const auto r = qvZip(args);
            if (honest) {
                EXPECT_EQ(r.exitCode, 0) << r.output;
                continue;
            }
            EXPECT_EQ(r.exitCode, 2) << r.output;
            EXPECT_NE(r.output.find("qv-zip: The entries of the archive overlap"), std::string::npos)
                << r.output;
        }
        const auto files = qvtest::runShell("find '" + out + "' -type f 2>/dev/null | wc -l");
        EXPECT_EQ(files.output, honest ? "2\n" : "0\n");
    }
}

// An update of such an archive (the compress task's way in) stops before it writes anything.
TEST_F(ZipHostileArchive, AnUpdateLeavesAnOverlappingArchiveAlone)
{
    const std::string zip = dir + "/bomb.zip";
    const std::string before = qvtest::readFile(zip);
    qvtest::writeFile(dir + "/new.txt", "new");
    qv::TZipWriter w;
    w.SetZipName(zip);
    w.AddFile(dir + "/new.txt", "new.txt");
    EXPECT_THROW(w.Zip(), qv::EBadZipFile);
    EXPECT_TRUE(qvtest::readFile(zip) == before);
}

// An empty file, /dev/null and a text file are no archives: each command says so and fails.
TEST_F(ZipHostileArchive, WhatIsNoArchiveIsAnError)
{
    for (const std::string &zip : {dir + "/empty.zip", std::string("/dev/null"), dir + "/text.zip"}) {
        for (const char *command : {"l", "t", "x"}) {
            SCOPED_TRACE(zip + " " + command);
            std::vector<std::string> args = {command, zip};
            if (std::string(command) == "x") {
                args.push_back(dir + "/out");
            }
            const auto r = qvZip(args);
            EXPECT_NE(r.exitCode, 0) << r.output;
            const bool text = zip == dir + "/text.zip"; // no end record: taken for a part of a set
            EXPECT_NE(r.output.find(text ? "qv-zip: Incomplete Zip File" : "qv-zip: Not a valid zip file!"),
                      std::string::npos)
                << r.output;
        }
    }
    // The writer still takes an empty file as a new archive, as Info-ZIP does.
    qvtest::writeFile(dir + "/new.txt", "new");
    qv::TZipWriter w;
    w.SetZipName(dir + "/empty.zip");
    w.AddFile(dir + "/new.txt", "new.txt");
    EXPECT_EQ(w.Zip(), 1);
    EXPECT_EQ(qvZip({"t", dir + "/empty.zip"}).exitCode, 0);
}

} // namespace
