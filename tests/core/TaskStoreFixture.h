// The fixture of the task storage tests: a private store per test and helpers over its keys.
#pragma once

#include "platform/Registry.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qv {

class TaskStore : public ::testing::Test
{
protected:
    void SetUp() override { RegistryStore::setStorePath(qvtest::makeTempDir("taskstore") + "/registry.db"); }
    void TearDown() override { RegistryStore::setStorePath({}); }

    // Every value below `path`: "subkey|name" -> value.
    static std::map<std::string, RegValue> dump(const std::string &path)
    {
        std::map<std::string, RegValue> out;
        dumpInto(path, "", out);
        return out;
    }
    static void dumpInto(const std::string &path, const std::string &rel,
                         std::map<std::string, RegValue> &out)
    {
        TRegistry reg;
        if (!reg.OpenKeyReadOnly(path)) {
            return;
        }
        for (const RegValue &v : reg.GetValues()) {
            out[rel + "|" + v.name] = v;
        }
        for (const std::string &sub : reg.GetKeyNames()) {
            dumpInto(path + "\\" + sub, rel + "\\" + sub, out);
        }
    }
    static std::vector<std::string> subKeys(const std::string &path)
    {
        TRegistry reg;
        return reg.OpenKeyReadOnly(path) ? reg.GetKeyNames() : std::vector<std::string>{};
    }
    static void deleteValue(const std::string &path, const std::string &name)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(path, false)) << path;
        ASSERT_TRUE(reg.DeleteValue(name)) << path << " " << name;
    }
    static void writeString(const std::string &path, const std::string &name, const std::string &value)
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(path, true));
        reg.WriteString(name, value);
    }
};

} // namespace qv
