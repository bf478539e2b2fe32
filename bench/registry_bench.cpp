// Settings store benchmark: one save of 30,000 values, reading them back, REGEDIT4 export/import,
// against a bare SQLite table written the same way (the control) in the same run.
#include "core/settings/SafeRegistry.h"
#include "platform/Registry.h"
#include "platform/RegistryFile.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace qv;

namespace {

constexpr int kKeys = 30;
constexpr int kPerKey = 1000;

double medianMs(int runs, const std::function<void(int)> &f)
{
    std::vector<double> ms;
    for (int r = 0; r < runs; ++r) {
        auto t0 = std::chrono::steady_clock::now();
        f(r);
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::string keyPath(int k)
{
    return "\\Software\\Tavimundrelo\\Quorvellant\\Tasks\\" + std::to_string(k);
}

void saveAll(RegistryStore &store)
{
    RegistryTransaction tx(store);
    TRegistry reg(store);
    for (int k = 0; k < kKeys; ++k) {
        reg.OpenKey(keyPath(k), true);
        for (int i = 0; i < kPerKey; ++i) {
            std::string name = "Value" + std::to_string(i);
            switch (i % 3) {
            case 0: reg.WriteString(name, "some text of a setting " + std::to_string(i)); break;
            case 1: reg.WriteInteger(name, i); break;
            default: reg.WriteDateTime(name, 45000.0 + i); break;
            }
        }
    }
    tx.commit();
}

long readAll(RegistryStore &store)
{
    TSafeRegistry reg(store);
    long sum = 0;
    for (int k = 0; k < kKeys; ++k) {
        reg.OpenKeyReadOnly(keyPath(k));
        for (int i = 0; i < kPerKey; ++i) {
            std::string name = "Value" + std::to_string(i);
            switch (i % 3) {
            case 0: sum += static_cast<long>(reg.ReadString(name, "").size()); break;
            case 1: sum += reg.ReadInteger(name, 0); break;
            default: sum += static_cast<long>(reg.ReadDateTime(name, 0)); break;
            }
        }
    }
    return sum;
}

void controlSave(const std::string &path)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                     "CREATE TABLE IF NOT EXISTS kv (k INTEGER, name TEXT, v BLOB, PRIMARY KEY (k, name))",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, "INSERT OR REPLACE INTO kv VALUES (?1, ?2, ?3)", -1, &st, nullptr);
    for (int k = 0; k < kKeys; ++k) {
        for (int i = 0; i < kPerKey; ++i) {
            std::string name = "Value" + std::to_string(i);
            std::string v = "some text of a setting " + std::to_string(i);
            sqlite3_bind_int(st, 1, k);
            sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_blob(st, 3, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const std::string dir = tmp.path().toStdString();
    const int runs = 5;
    const int total = kKeys * kPerKey;

    double firstSave = medianMs(runs, [&](int r) {
        RegistryStore store(dir + "/first" + std::to_string(r) + ".db");
        saveAll(store);
    });
    RegistryStore store(dir + "/registry.db");
    saveAll(store);
    double resave = medianMs(runs, [&](int) { saveAll(store); });
    long check = 0;
    double read = medianMs(runs, [&](int) { check = readAll(store); });
    double control = medianMs(runs, [&](int r) { controlSave(dir + "/control" + std::to_string(r) + ".db"); });
    std::string text;
    double exportMs = medianMs(runs, [&](int) {
        text = exportRegistryText(store, RegRoot::CurrentUser, "\\Software\\Tavimundrelo\\Quorvellant");
    });
    double importMs = medianMs(runs, [&](int r) {
        RegistryStore fresh(dir + "/import" + std::to_string(r) + ".db");
        RegistryImportOptions opt;
        opt.allowedKey = "\\Software\\Tavimundrelo\\Quorvellant";
        importRegistryText(fresh, text, opt);
    });

    std::printf("settings store, %d values in %d keys (median of %d runs)\n", total, kKeys, runs);
    std::printf("  save into an empty store   %8.1f ms\n", firstSave);
    std::printf("  save over the same values  %8.1f ms\n", resave);
    std::printf("  read every value back      %8.1f ms   (checksum %ld)\n", read, check);
    std::printf("  REGEDIT4 export            %8.1f ms   (%zu bytes)\n", exportMs, text.size());
    std::printf("  REGEDIT4 import (one save) %8.1f ms\n", importMs);
    std::printf("  control: bare SQLite table %8.1f ms\n", control);
    std::printf("  ratio first save / control %8.2f\n", firstSave / control);
    return 0;
}
