// Archives spanning removable disks, through a fake drive: a folder whose "disk" the tests take
// out and put back by moving the volume in and out of it, with the free space of each disk and
// its label from the fake file-system layer. Written sets are read back byte for byte, joined by
// Info-ZIP as a split archive, and every failure leaves either the old archive or the complete
// new one.
// qv-test-timeout: 300
#include "ZipFakeFileSystem.h"
#include "ZipWriterFixture.h"
#include "zip/ZipDiskPrompt.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <sstream>

using namespace zwtest;

namespace {

std::int64_t fileSize(const std::string &path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

std::string realPath(const std::string &path)
{
    char buf[PATH_MAX];
    return ::realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

// Names in a folder, "." and ".." left out.
std::vector<std::string> listFolder(const std::string &dir)
{
    std::vector<std::string> names;
    if (DIR *d = ::opendir(dir.c_str())) {
        while (dirent *e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n != "." && n != "..") {
                names.push_back(n);
            }
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A drive with a changeable disk. Disk n (from 1) is kept on the shelf as shelf/n/a.zip while
// it is out of the drive.
struct FakeDrive
{
    std::string root;
    std::string drive;
    std::string archive;
    ziptest::FakeZipFileSystem fs;
    int inDrive = 1; // the disk in the drive, counting from 1
    std::int64_t capacity = 0;
    std::vector<std::int64_t> capacities; // per disk when set, else `capacity`
    std::vector<int> asked;

    explicit FakeDrive(const std::string &dir, std::int64_t diskBytes) : root(realPath(dir)), capacity(diskBytes)
    {
        drive = root + "/drive";
        archive = drive + "/a.zip";
        qvtest::runCommand({"mkdir", "-p", drive});
        fs.removable.insert(drive);
        fs.freeSpace[drive] = diskBytes;
    }
    std::string shelfFile(int disk) const { return root + "/shelf/" + std::to_string(disk) + "/a.zip"; }
    void takeOut()
    {
        qvtest::runCommand({"mkdir", "-p", root + "/shelf/" + std::to_string(inDrive)});
        if (fileSize(archive) >= 0) {
            EXPECT_EQ(::rename(archive.c_str(), shelfFile(inDrive).c_str()), 0);
        }
    }
    // A blank disk goes in for writing disk `disk`.
    void insertBlank(int disk)
    {
        takeOut();
        inDrive = disk;
        fs.freeSpace[drive] = disk <= static_cast<int>(capacities.size()) ? capacities[disk - 1] : capacity;
    }
    // Disk `disk` of a written set goes back in.
    void insertWritten(int disk)
    {
        takeOut();
        inDrive = disk;
        ASSERT_EQ(::rename(shelfFile(disk).c_str(), archive.c_str()), 0) << disk;
    }
    // Moves every disk's volume to peer/a.z01 ... and the last one to peer/a.zip.
    void copySplit(const std::string &peer, int disks)
    {
        qvtest::runCommand({"mkdir", "-p", peer});
        for (int d = 1; d <= disks; ++d) {
            char name[16];
            std::snprintf(name, sizeof name, "a.z%02d", d);
            const std::string from = d == inDrive ? archive : shelfFile(d);
            qvtest::writeFile(peer + "/" + (d == disks ? std::string("a.zip") : std::string(name)),
                              qvtest::readFile(from));
        }
    }
};

// Names whose content differs between two trees (or that only one has).
std::vector<std::string> differences(const std::map<std::string, std::string> &a,
                                     const std::map<std::string, std::string> &b)
{
    std::vector<std::string> out;
    for (const auto &[name, data] : a) {
        const auto it = b.find(name);
        if (it == b.end() || it->second != data) {
            out.push_back(name);
        }
    }
    for (const auto &entry : b) {
        if (a.count(entry.first) == 0) {
            out.push_back(entry.first);
        }
    }
    return out;
}

std::map<std::string, std::string> spanFiles()
{
    std::map<std::string, std::string> files;
    for (int i = 0; i < 4; ++i) {
        files["rand" + std::to_string(i) + ".bin"] = randomBytes(1200000, static_cast<unsigned>(70 + i));
    }
    files["docs/text.txt"] = textBytes(400000);
    files["empty.txt"] = "";
    return files;
}

void setupWriter(qv::TZipWriter &zip, FakeDrive &d, const std::string &src, const std::map<std::string, std::string> &files)
{
    zip.SetFileSystem(d.fs);
    zip.SetZipName(d.archive);
    zip.SetMultiMode(qv::mmSpan);
    zip.TempPath = d.root + "/tmp";
    for (const auto &entry : files) {
        zip.AddFile(src + "/" + entry.first, entry.first);
    }
}

// Reads the set back with the last disk in the drive; the prompts swap the disks.
std::map<std::string, std::string> readBack(FakeDrive &d, std::vector<std::string> &prompts, const std::string &out)
{
    qv::TZipReader reader;
    reader.SetFileSystem(d.fs);
    reader.OnDiskPrompt = [&](const std::string &text) {
        prompts.push_back(text);
        const int disk = std::atoi(text.c_str() + std::string("Please insert disk ").size());
        d.insertWritten(disk);
        return true;
    };
    reader.SetZipName(d.archive);
    reader.SetDestDir(out);
    reader.RecreateDirs = true;
    reader.OverwriteMode = qv::TUZOverwriteMode::Always;
    reader.DoAll = true;
    EXPECT_EQ(reader.MultiMode(), qv::mmNone); // nothing read yet
    const int n = reader.Count();
    EXPECT_EQ(reader.MultiMode(), qv::mmSpan);
    std::map<std::string, std::string> got;
    EXPECT_EQ(reader.UnZip(), n);
    for (int i = 0; i < n; ++i) {
        const std::string name = reader.FullName(i);
        if (!name.empty() && name.back() != '/') {
            got[name] = qvtest::readFile(out + "/" + name);
        }
    }
    return got;
}

TEST(ZipSpan, WrittenAcrossDisksAndReadBack)
{
    const std::string dir = qvtest::makeTempDir("span");
    const auto files = spanFiles();
    writeTree(dir + "/src", files);
    FakeDrive d(dir, 1457664);
    qvtest::runCommand({"mkdir", "-p", d.root + "/tmp"});
    qv::TZipWriter zip;
    setupWriter(zip, d, dir + "/src", files);
    zip.MultiZipInfo.SaveOnFirstDisk = 100000;
    std::vector<std::pair<std::string, std::int64_t>> copies;
    zip.OnStartSpanCopy = [&](const std::string &name, std::int64_t size) { copies.emplace_back(name, size); };
    zip.OnPrepareNextDisk = [&](int disk) {
        d.asked.push_back(disk);
        d.insertBlank(disk);
    };
    EXPECT_EQ(zip.Zip(), static_cast<int>(files.size()));

    // 4.8 MB of random bytes on 1.4 MB disks, the first with 100,000 bytes kept free.
    const int disks = d.inDrive;
    ASSERT_GE(disks, 4);
    std::vector<int> wantAsked;
    for (int n = 2; n <= disks; ++n) {
        wantAsked.push_back(n);
    }
    EXPECT_EQ(d.asked, wantAsked);
    std::int64_t total = 0;
    for (int n = 1; n <= disks; ++n) {
        const std::int64_t size = fileSize(n == disks ? d.archive : d.shelfFile(n));
        total += size;
        if (n == 1) {
            EXPECT_EQ(size, 1457664 - 100000); // each disk filled up to its free space
        } else if (n < disks) {
            EXPECT_EQ(size, 1457664) << n;
        }
    }
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].first, d.archive);
    EXPECT_EQ(copies[0].second, total);
    EXPECT_EQ(listFolder(d.drive), std::vector<std::string>{"a.zip"}); // no temporary volume left
    EXPECT_TRUE(listFolder(d.root + "/tmp").empty());

    // Info-ZIP joins the disks as a split archive and finds every entry intact.
    if (qvtest::haveTool("zip") && qvtest::haveTool("unzip")) {
        d.copySplit(dir + "/peer", disks);
        auto r = qvtest::runCommand({"sh", "-c", "cd '" + dir + "/peer' && zip -q -s 0 a.zip --out whole.zip && unzip -tq whole.zip"}, 120);
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }

    std::vector<std::string> prompts;
    const auto got = readBack(d, prompts, dir + "/out");
    EXPECT_EQ(differences(got, files), std::vector<std::string>{});
    std::vector<std::string> wantPrompts;
    for (int n = 1; n < disks; ++n) {
        wantPrompts.push_back("Please insert disk " + std::to_string(n) + " of the multi-disk set.");
    }
    EXPECT_EQ(prompts, wantPrompts);

    // The same set on a drive that calls itself fixed, as many USB disks do: read through the
    // prompt just the same. Without a prompt, or beside the configuration file that makes it the
    // last volume of a blocked set, it is an incomplete archive and no disk is asked for.
    d.insertWritten(disks);
    d.fs.removable.erase(d.drive);
    {
        qv::TZipReader plain;
        plain.SetFileSystem(d.fs);
        plain.SetZipName(d.archive);
        EXPECT_THROW(plain.Count(), qv::EIncompleteZip);
        qvtest::writeFile(d.drive + "/a.zfc", "");
        qv::TZipReader blocked;
        blocked.SetFileSystem(d.fs);
        blocked.OnDiskPrompt = [&](const std::string &) { return ADD_FAILURE() << "asked for a disk", false; };
        blocked.SetZipName(d.archive);
        EXPECT_THROW(blocked.Count(), qv::EIncompleteZip);
        ::unlink((d.drive + "/a.zfc").c_str());
    }
    prompts.clear();
    EXPECT_EQ(differences(readBack(d, prompts, dir + "/fixed"), files), std::vector<std::string>{});
    EXPECT_EQ(prompts, wantPrompts);
}

// qv-zip reads a set from a disk that is not removable, changing the disks through its -D
// command, which runs through the program's process runner.
TEST(ZipSpan, QvZipReadsASetFromAFixedDisk)
{
    const std::string dir = qvtest::makeTempDir("spanfixed");
    const auto files = spanFiles();
    writeTree(dir + "/src", files);
    FakeDrive d(dir, 1457664);
    qvtest::runCommand({"mkdir", "-p", d.root + "/tmp"});
    qv::TZipWriter zip;
    setupWriter(zip, d, dir + "/src", files);
    zip.OnPrepareNextDisk = [&](int disk) { d.insertBlank(disk); };
    ASSERT_EQ(zip.Zip(), static_cast<int>(files.size()));
    const int disks = d.inDrive;
    ASSERT_GE(disks, 3);
    const std::string qvzip = qvtest::binPath("qv-zip");
    struct Case
    {
        const char *command;
        int exitCode;
        const char *said;
    };
    const std::string swap =
        "cp '" + d.root + "/shelf/'$QV_DISK'/a.zip' '" + d.archive + "' && echo \"disk $QV_DISK: $1\"";
    const Case cases[] = {
        {"exit 1", 2, "User canceled loading new disk."},
        {"/nonexistent/swap", 2, "User canceled loading new disk."},
        {swap.c_str(), 0, "disk 1: Please insert disk 1 of the multi-disk set."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        const auto r = qvtest::runCommand({qvzip, "x", "-D", c.command, d.archive, dir + "/out"}, 120);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    }
    std::map<std::string, std::string> got;
    for (const auto &entry : files) {
        got[entry.first] = qvtest::readFile(dir + "/out/" + entry.first);
    }
    EXPECT_EQ(differences(got, files), std::vector<std::string>{});
}

// Without a way to start programs the disk command is refused, never run; with one it gets the
// shell line, the prompt as its $1 and the disk number in QV_DISK.
TEST(ZipSpan, DiskCommandGoesThroughTheProgramRunner)
{
    std::istringstream none;
    std::ostringstream err;
    qv::zipSetProgramRunner(nullptr);
    EXPECT_FALSE(qv::zipAskForDisk(2, "Please insert disk 2.", "swap-disk", none, err));
    EXPECT_NE(err.str().find("cannot run the disk command \"swap-disk\""), std::string::npos) << err.str();
    for (int status : {0, 1, -1}) {
        std::vector<std::string> argv;
        std::vector<std::string> environment;
        qv::zipSetProgramRunner([&](const std::vector<std::string> &a, const std::vector<std::string> &e) {
            argv = a;
            environment = e;
            return status;
        });
        EXPECT_EQ(qv::zipAskForDisk(3, "Please insert disk 3.", "swap-disk", none, err), status == 0);
        EXPECT_EQ(argv, (std::vector<std::string>{"/bin/sh", "-c", "swap-disk", "sh", "Please insert disk 3."}));
        EXPECT_EQ(environment, std::vector<std::string>{"QV_DISK=3"});
    }
    qv::zipSetProgramRunner(nullptr);
}

// Every way a span can fail: before a disk was touched the old archive stays as it was; after,
// the complete new archive is kept in the temporary folder and named in the error.
TEST(ZipSpan, FailuresKeepTheOldArchiveOrTheWholeNewOne)
{
    enum class Kept { OldArchive, WholeNew };
    struct Case
    {
        const char *name;
        bool handler;           // an OnPrepareNextDisk handler is assigned
        bool changesDisk;       // it changes the disk
        int cancelAt;           // it cancels when asked for this disk (0: never)
        std::int64_t secondDisk; // free space of disk 2 (-1: like the others)
        const char *error;      // expected in the message
        Kept kept;
    };
    const Case cases[] = {
        {"no handler", false, false, 0, -1, "nothing asks for", Kept::OldArchive},
        {"disk never changed", true, false, 0, -1, "Disk 2 was not inserted", Kept::WholeNew},
        {"canceled at disk 3", true, true, 3, -1, "User Aborted Operation", Kept::WholeNew},
        {"disk 2 full", true, true, 0, 0, "Not enough room to write archive volume", Kept::WholeNew},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = qvtest::makeTempDir("spanfail");
        const auto files = spanFiles();
        writeTree(dir + "/src", files);
        FakeDrive d(dir, 1457664);
        if (c.secondDisk >= 0) {
            d.capacities = {1457664, c.secondDisk};
        }
        qvtest::runCommand({"mkdir", "-p", d.root + "/tmp"});
        // The old archive: one small file, on the disk in the drive.
        writeTree(dir + "/old", {{"old.txt", "kept as it was"}});
        {
            qv::TZipWriter old;
            old.SetZipName(d.archive);
            old.AddFile(dir + "/old/old.txt", "old.txt");
            ASSERT_EQ(old.Zip(), 1);
        }
        const std::string before = qvtest::readFile(d.archive);
        qv::TZipWriter zip;
        setupWriter(zip, d, dir + "/src", files);
        if (c.handler) {
            zip.OnPrepareNextDisk = [&](int disk) {
                if (disk == c.cancelAt) {
                    zip.CancelTheOperation();
                }
                if (c.changesDisk) {
                    d.insertBlank(disk);
                }
            };
        }
        std::string error;
        try {
            zip.Zip();
        } catch (const qv::EZipError &e) {
            error = e.what();
        }
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        const auto temps = listFolder(d.root + "/tmp");
        if (c.kept == Kept::OldArchive) {
            EXPECT_EQ(qvtest::readFile(d.archive), before);
            EXPECT_TRUE(temps.empty());
            EXPECT_EQ(listFolder(d.drive), std::vector<std::string>{"a.zip"});
            continue;
        }
        ASSERT_EQ(temps.size(), 1u) << error;
        const std::string kept = d.root + "/tmp/" + temps[0];
        EXPECT_NE(error.find("kept whole as " + kept), std::string::npos) << error;
        qv::TZipReader reader;
        reader.SetZipName(kept);
        reader.SetDestDir(dir + "/kept");
        reader.RecreateDirs = true;
        reader.DoAll = true;
        EXPECT_EQ(reader.UnZip(), static_cast<int>(files.size()) + 1);
        for (const auto &[name, data] : files) {
            EXPECT_EQ(qvtest::readFile(dir + "/kept/" + name), data) << name;
        }
        EXPECT_EQ(qvtest::readFile(dir + "/kept/old.txt"), "kept as it was");
        for (const std::string &n : listFolder(d.drive)) {
            EXPECT_EQ(n, "a.zip"); // no temporary volume left on the disk in the drive
        }
    }
}

// A set that fits on the disk in the drive is a plain archive, and nothing is asked.
TEST(ZipSpan, FittingOnOneDiskIsAPlainArchive)
{
    const std::string dir = qvtest::makeTempDir("spanone");
    const std::map<std::string, std::string> files = {{"a.txt", textBytes(200000)}, {"b.bin", randomBytes(50000, 3)}};
    writeTree(dir + "/src", files);
    FakeDrive d(dir, 1457664);
    qv::TZipWriter zip;
    setupWriter(zip, d, dir + "/src", files);
    int asked = 0;
    zip.OnPrepareNextDisk = [&](int) { ++asked; };
    EXPECT_EQ(zip.Zip(), 2);
    EXPECT_EQ(asked, 0);
    if (qvtest::haveTool("unzip")) {
        auto r = qvtest::runCommand({"unzip", "-tq", d.archive});
        EXPECT_EQ(r.exitCode, 0) << r.output;
    }
    qv::TZipReader reader;
    reader.SetFileSystem(d.fs);
    reader.SetZipName(d.archive);
    EXPECT_EQ(reader.Count(), 2);
    EXPECT_EQ(reader.MultiMode(), qv::mmNone);
}

// Reading: a disk labelled as another disk of a set, or the disk that was already read, is asked
// for again; Cancel ends the read with the text of the component and leaves no copies behind.
TEST(ZipSpan, ReadingAsksAgainForWrongDisksAndCancels)
{
    const std::string dir = qvtest::makeTempDir("spanread");
    const auto files = spanFiles();
    writeTree(dir + "/src", files);
    FakeDrive d(dir, 1457664);
    {
        qv::TZipWriter zip;
        setupWriter(zip, d, dir + "/src", files);
        zip.OnPrepareNextDisk = [&](int disk) { d.insertBlank(disk); };
        ASSERT_GT(zip.Zip(), 0);
    }
    const int disks = d.inDrive;
    ASSERT_GE(disks, 3);
    const std::string scratch = dir + "/scratch";
    qvtest::runCommand({"mkdir", "-p", scratch});
    const char *oldTmp = std::getenv("TMPDIR");
    const std::string savedTmp = oldTmp != nullptr ? oldTmp : "";
    ::setenv("TMPDIR", scratch.c_str(), 1);

    // Disk 1 is asked for: first the last disk stays in, then disk 2 comes labelled "PKBACK# 002",
    // then disk 1 itself labelled "PKBACK# 001"; disk 2 then comes unlabelled.
    std::vector<std::string> prompts;
    int step = 0;
    qv::TZipReader reader;
    reader.SetFileSystem(d.fs);
    reader.OnDiskPrompt = [&](const std::string &text) {
        prompts.push_back(text);
        ++step;
        d.fs.labels.clear();
        if (step == 2) {
            d.insertWritten(2);
            d.fs.labels[d.drive] = "PKBACK# 002";
        } else if (step == 3) {
            d.insertWritten(1);
            d.fs.labels[d.drive] = "PKBACK# 001";
        } else if (step >= 4) {
            d.insertWritten(step - 2);
        }
        return true;
    };
    reader.SetZipName(d.archive);
    EXPECT_EQ(reader.Count(), static_cast<int>(files.size()));
    ASSERT_GE(prompts.size(), 3u);
    EXPECT_EQ(prompts[0], "Please insert disk 1 of the multi-disk set.");
    EXPECT_EQ(prompts[1], "Please insert disk 1 of the multi-disk set.");
    EXPECT_EQ(prompts[2], "Please insert disk 1 of the multi-disk set.");
    EXPECT_EQ(prompts.size(), static_cast<std::size_t>(disks + 1));
    EXPECT_EQ(listFolder(scratch).size(), static_cast<std::size_t>(disks)); // one copy per disk
    reader.ClearZip();
    EXPECT_TRUE(listFolder(scratch).empty());

    // With the label check off, a disk labelled as another one is taken.
    {
        d.insertWritten(disks);
        // The prompt and the file-system layer come through Assign.
        qv::TZipReader model;
        model.SetFileSystem(d.fs);
        int asked = 0;
        model.OnDiskPrompt = [&](const std::string &) {
            d.insertWritten(++asked);
            d.fs.labels[d.drive] = "PKBACK# 009";
            return true;
        };
        qv::TZipReader loose;
        loose.Assign(model);
        loose.SetCheckDiskLabels(false);
        loose.SetZipName(d.archive);
        EXPECT_EQ(loose.Count(), static_cast<int>(files.size()));
        EXPECT_EQ(asked, disks - 1);
        d.fs.labels.clear();
    }

    // Cancel: the component's text, and no copy is left.
    d.insertWritten(disks);
    qv::TZipReader canceled;
    canceled.SetFileSystem(d.fs);
    canceled.OnDiskPrompt = [&](const std::string &) { return false; };
    canceled.SetZipName(d.archive);
    std::string error;
    try {
        canceled.Count();
    } catch (const qv::EUserCanceled &e) {
        error = e.what();
    }
    EXPECT_EQ(error, "User canceled loading new disk.");
    EXPECT_TRUE(listFolder(scratch).empty());
    if (savedTmp.empty()) {
        ::unsetenv("TMPDIR");
    } else {
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    }
}

// Adding to a set read from disks: the old set is read disk by disk, then disk 1 is asked for
// before the new set is written over it.
TEST(ZipSpan, UpdatingASpannedSet)
{
    const std::string dir = qvtest::makeTempDir("spanupd");
    auto files = spanFiles();
    writeTree(dir + "/src", files);
    FakeDrive d(dir, 1457664);
    {
        qv::TZipWriter zip;
        setupWriter(zip, d, dir + "/src", files);
        zip.OnPrepareNextDisk = [&](int disk) { d.insertBlank(disk); };
        ASSERT_GT(zip.Zip(), 0);
    }
    const int oldDisks = d.inDrive;
    files["added.txt"] = textBytes(30000);
    writeTree(dir + "/src", {{"added.txt", files["added.txt"]}});
    std::vector<int> asked;
    qv::TZipWriter zip;
    zip.SetFileSystem(d.fs);
    zip.SetZipName(d.archive);
    zip.SetMultiMode(qv::mmSpan);
    zip.TempPath = d.root + "/tmp";
    zip.OnDiskPrompt = [&](const std::string &text) {
        d.insertWritten(std::atoi(text.c_str() + std::string("Please insert disk ").size()));
        return true;
    };
    zip.OnPrepareNextDisk = [&](int disk) {
        asked.push_back(disk);
        if (disk == 1) {
            d.insertWritten(1); // the old first disk, written over
            d.fs.freeSpace[d.drive] = d.capacity;
        } else {
            d.insertBlank(disk);
        }
    };
    zip.AddFile(dir + "/src/added.txt", "added.txt");
    EXPECT_EQ(zip.Zip(), 1);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked[0], 1);
    EXPECT_EQ(d.inDrive, oldDisks); // the set grew by 30,000 compressible bytes: same disk count
    std::vector<std::string> prompts;
    EXPECT_EQ(differences(readBack(d, prompts, dir + "/out"), files), std::vector<std::string>{});
}

} // namespace
