// Whether a task may run: folder tests, destinations inside sources by whole path components,
// and drives that are not there.
#include "RunsTestSupport.h"

#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace runstest;

class TaskValidation : public RunsFixture
{
};

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

TEST_F(TaskValidation, DestinationInsideASourceByWholeComponents)
{
    const std::string base = qvtest::makeTempDir("contain");
    std::filesystem::create_directories(base + "/data");
    const std::string under = "Destination folder can't be placed under Source folder path!";
    const struct {
        std::string source, destination;
        std::string errors; // "%b" stands for the base folder
    } cases[] = {
        {"/data", "/data2", ""},
        {"/data", "/data/b", under},
        {"/data", "/data/../data/b", under},
        {"/data", "/data", "Source and destination must be different folders!; " + under},
        {"/data/", "/data", "Source and destination must be different folders!; " + under},
        {"/data/.", "/data/c", under},
        {"/data", "/dat", ""},
    };
    for (const auto &c : cases) {
        auto task = makeTask("v", base + c.source, base + c.destination);
        EXPECT_EQ(task->Validate(), c.errors) << c.source << " -> " << c.destination;
        if (c.errors.find(under) != std::string::npos) {
            EXPECT_FALSE(exists(base + "/data/b")) << "a destination inside a source is never created";
            EXPECT_FALSE(exists(base + "/data/c"));
        }
    }
    EXPECT_TRUE(exists(base + "/data2")) << "a valid missing destination is created";
}

TEST_F(TaskValidation, DestinationReachedThroughALinkIntoTheSource)
{
    const std::string base = qvtest::makeTempDir("link");
    std::filesystem::create_directories(base + "/data/inner");
    std::filesystem::create_directory_symlink(base + "/data/inner", base + "/alias");
    auto task = makeTask("v", base + "/data", base + "/alias");
    EXPECT_EQ(task->Validate(), "Destination folder can't be placed under Source folder path!");
}

TEST_F(TaskValidation, SourceOwnDestinationThatIsTheSource)
{
    // Rebuilding the source's path below the root puts its files back onto themselves.
    const std::string base = qvtest::makeTempDir("keep");
    std::filesystem::create_directories(base + "/data");
    auto task = makeTask("v", base + "/data", "/");
    task->KeepStructureFromRoot = true;
    EXPECT_EQ(task->Validate(),
              "Source and destination must be different folders!; Destination folder can't be placed under Source "
              "folder path!");
    task->TaskType = qv::ttSynchronize; // a synchronisation keeps no structure: "/" is apart
    EXPECT_EQ(task->Validate(), "");
}

TEST_F(TaskValidation, SourceInsideTheDestinationIsAllowed)
{
    const std::string base = qvtest::makeTempDir("outer");
    std::filesystem::create_directories(base + "/src");
    auto task = makeTask("v", base + "/src", base);
    EXPECT_EQ(task->Validate(), "");
}

TEST_F(TaskValidation, MessagesInOrderJoinedBySemicolons)
{
    const std::string base = qvtest::makeTempDir("order");
    auto task = makeTask("v", "", "");
    task->CompressUse = true;
    EXPECT_EQ(task->Validate(), "No source folder(s) defined!; Invalid destination folder ()!; Invalid Zip file names !");
    task->Source = "relative/path";
    task->CompressFilename = "a.zip";
    task->DestLocal = base + "/out";
    EXPECT_EQ(task->Validate(), "Invalid source folder (relative/path/)!");
}

TEST(MissingDrive, MountPointsAndRemovableMediaFromATable)
{
    const std::string mountinfo = "22 1 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                  "30 22 8:17 / /srv/backup rw - ext4 /dev/sdb1 rw\n";
    const std::string fstab = "/dev/sda1 / ext4 defaults 0 1\n"
                              "/dev/sdb1 /srv/backup ext4 defaults 0 2\n"
                              "UUID=1234 /mnt/usbdisk ext4 noauto,user 0 0\n"
                              "UUID=5678 /data/external xfs nofail 0 0\n";
    const qv::MountTable mounts = qv::MountTable::fromText(mountinfo, fstab);
    const std::set<std::string> present = {"/media/alice/STICK", "/run/media/alice/CARD", "/mnt/usbdisk"};
    auto isFolder = [&](const std::string &p) { return present.count(p) != 0; };
    const struct {
        std::string path, missing;
    } cases[] = {
        {"/data/external", "/data/external"},          // in fstab, not mounted
        {"/data/external/backups/", "/data/external"},
        {"/data/externalx", ""},                       // whole components only
        {"/srv/backup/x", ""},                         // mounted
        {"/mnt/usbdisk/x", "/mnt/usbdisk"},            // fstab wins even though the folder is there
        {"/mnt/other/x", "/mnt/other"},                // first folder below /mnt missing
        {"/mnt", ""},
        {"/media/alice/STICK/backup", ""},
        {"/media/alice/PHONE/backup", "/media/alice/PHONE"},
        {"/run/media/alice/CARD", ""},
        {"/run/media/alice/GONE/a", "/run/media/alice/GONE"},
        {"/media/bob/X/y", ""},                        // another user's media are not ours to judge
        {"/home/alice/Backup", ""},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(qv::missingDriveFor(c.path, mounts, "alice", isFolder), c.missing) << c.path;
    }
}

TEST_F(TaskValidation, UnpluggedDriveFailsAndIsNeverCreated)
{
    const std::string base = qvtest::makeTempDir("unplugged");
    const std::string mountPoint = base + "/usb";
    std::filesystem::create_directories(mountPoint); // the empty mount point of an unplugged drive
    std::filesystem::create_directories(base + "/src");
    qvtest::writeFile(base + "/src/f", "x");
    qv::DriveFacts facts;
    facts.mounts = [&] {
        return qv::MountTable::fromText("22 1 8:1 / / rw - ext4 /dev/sda1 rw\n",
                                        "UUID=1 " + mountPoint + " ext4 noauto 0 0\n");
    };
    qv::setDriveFactsForTests(facts);
    auto task = makeTask("usb", base + "/src", mountPoint + "/Backups");
    EXPECT_EQ(task->Validate(), "Invalid destination folder (" + mountPoint + "/Backups/)!");
    EXPECT_FALSE(exists(mountPoint + "/Backups"));
    // As a source, the empty mount point is not read as "everything was deleted".
    auto reverse = makeTask("usb", mountPoint, base + "/dst");
    EXPECT_EQ(reverse->Validate(), "Invalid source folder (" + mountPoint + "/)!");
    reverse->Run(qv::kStartByHand);
    EXPECT_FALSE(reverse->Running);
    EXPECT_EQ(alerter.count(qv::akError), 1);
}

} // namespace
