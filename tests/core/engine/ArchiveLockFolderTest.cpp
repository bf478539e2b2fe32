// Where archive locks live: a folder of this user alone, never one others can write.
#include "core/engine/ArchiveLock.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using namespace qv;

namespace {

unsigned modeOf(const std::string &path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets (or, with nullptr, unsets) a variable for the life of the object.
class ScopedEnv
{
public:
    ScopedEnv(const char *name, const char *value) : m_name(name)
    {
        if (const char *old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        value != nullptr ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { m_had ? ::setenv(m_name, m_old.c_str(), 1) : ::unsetenv(m_name); }

private:
    const char *m_name;
    std::string m_old;
    bool m_had = false;
};

} // namespace

TEST(ArchiveLockFolder, TheSharedTemporaryFolderMustBeOursAlone)
{
    struct Case {
        const char *what;
        bool runtimeDir;  // XDG_RUNTIME_DIR set, else only TMPDIR
        int existingMode; // the folder made beforehand with this mode; 0: missing; -1: a link
        const char *errorWords; // nullptr: accepted
        unsigned modeAfter;
    };
    const Case cases[] = {
        {"missing in tmp", false, 0, nullptr, 0700},
        {"private in tmp", false, 0700, nullptr, 0700},
        {"writable by all in tmp", false, 0777, "must have mode 0700", 0777},
        {"readable by the group in tmp", false, 0750, "must have mode 0700", 0750},
        {"a link in tmp", false, -1, "is not a private folder", 0777},
        {"missing in the runtime folder", true, 0, nullptr, 0700},
        {"wider in the runtime folder", true, 0755, nullptr, 0700},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string base = qvtest::makeTempDir("lockbase");
        ScopedEnv runtime("XDG_RUNTIME_DIR", c.runtimeDir ? base.c_str() : nullptr);
        ScopedEnv tmp("TMPDIR", base.c_str());
        const std::string folder = base + (c.runtimeDir ? std::string("/quorvellant")
                                                        : "/quorvellant-" + std::to_string(::geteuid()));
        if (c.existingMode > 0) {
            ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
            ASSERT_EQ(::chmod(folder.c_str(), static_cast<mode_t>(c.existingMode)), 0);
        } else if (c.existingMode < 0) {
            const std::string target = qvtest::makeTempDir("elsewhere");
            ASSERT_EQ(::chmod(target.c_str(), 0777), 0);
            ASSERT_EQ(::symlink(target.c_str(), folder.c_str()), 0);
        }
        try {
            const std::string file = ArchiveLock::lockFileFor("/some/archive.zip");
            EXPECT_EQ(c.errorWords, nullptr) << "accepted: " << file;
            EXPECT_EQ(file.rfind(folder + "/", 0), 0u) << file;
        } catch (const std::runtime_error &e) {
            ASSERT_NE(c.errorWords, nullptr) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.errorWords), std::string::npos) << e.what();
        }
        EXPECT_EQ(modeOf(c.existingMode < 0 ? folder + "/" : folder), c.modeAfter);
    }
}
