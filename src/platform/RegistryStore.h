// The settings store: a hierarchy of keys and typed values kept in one SQLite file.
//
// This is the program's stand-in for the Windows registry. Keys live under two roots
// (HKEY_CURRENT_USER, writable, and HKEY_LOCAL_MACHINE, read-only); key paths keep their
// backslashes. Key and value names compare case-insensitively, subkeys are listed sorted the way
// Windows lists them (by upper-cased name) and values in the order they were first created.
//
// A connection belongs to one thread: RegistryStore::forThisThread() opens (once per thread) the
// store at storePath(). Every top-level save runs inside a RegistryTransaction; a write that fails
// inside it poisons the transaction so that commit() raises and the old state stays, instead of a
// half-written save being reported as saved. A failure because the file is damaged raises
// RegistryDamaged, which names the file.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace qv {

enum RegDataType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
};

enum class RegRoot { CurrentUser, LocalMachine };

// "HKEY_CURRENT_USER" / "HKEY_LOCAL_MACHINE"
const char *regRootName(RegRoot root);
// Parses a root name (full names only, case-insensitive); false when unknown.
bool parseRegRootName(std::string_view text, RegRoot &root);

// A failure of the store (cannot open, a write refused, a commit that did not happen).
class RegistryError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// The store file is damaged: SQLite cannot read it as a database, or its pages do not hold
// together. what() names the file and says what is wrong.
class RegistryDamaged : public RegistryError
{
public:
    RegistryDamaged(const std::string &path, const std::string &reason);
    const std::string &path() const { return m_path; }
    const std::string &reason() const { return m_reason; }

private:
    std::string m_path;
    std::string m_reason;
};

// One value as stored: REG_SZ holds UTF-8 text (no terminator), REG_DWORD four little-endian
// bytes, REG_BINARY the bytes themselves.
struct RegValue {
    std::string name;
    std::uint32_t type = REG_NONE;
    std::string data;

    bool operator==(const RegValue &) const = default;
};

// Splits "\A\B\C" (or "A\B\C") into its non-empty parts.
std::vector<std::string> splitRegPath(std::string_view path);
// The case-insensitive comparison form of a key or value name.
std::string regFoldName(std::string_view name);

class RegistryStore
{
public:
    // Opens (creating when needed) the store at `path`; its folder is created 0700 and the file
    // is kept 0600. Throws RegistryError when the file cannot be opened.
    explicit RegistryStore(const std::string &path);
    ~RegistryStore();
    RegistryStore(const RegistryStore &) = delete;
    RegistryStore &operator=(const RegistryStore &) = delete;

    // $XDG_CONFIG_HOME/quorvellant/registry.db (~/.config/... without it), unless setStorePath()
    // chose another file.
    static std::string defaultStorePath();
    static std::string storePath();
    // Makes every thread use `path` from its next forThisThread() on; empty restores the default.
    static void setStorePath(const std::string &path);
    // This thread's connection to storePath(); throws RegistryError when it cannot be opened.
    static RegistryStore &forThisThread();

    // Looks the store file at `path` over, as every program does at its start, without writing
    // anything: throws RegistryDamaged when it is damaged. A missing or empty file is no store yet
    // and passes. Every page is read once (about 2 ms a megabyte).
    static void checkStore(const std::string &path);
    // Renames a damaged store, with its write-ahead log and shared-memory files, beside itself as
    // "<name>.damaged-<date>-<time>" (a number added when taken); the next open starts empty. Returns
    // the new name of the store file; throws RegistryError when it cannot be moved.
    static std::string moveAside(const std::string &path);

    const std::string &path() const { return m_path; }

    // Key ids: 0 means "no such key".
    std::int64_t findKey(RegRoot root, std::string_view path);
    // Creates every missing level; throws RegistryError (HKEY_LOCAL_MACHINE is read-only).
    std::int64_t createKey(RegRoot root, std::string_view path);
    std::int64_t findSubKey(std::int64_t parent, std::string_view name);
    // The stored name (original case) of a key.
    std::string keyName(std::int64_t key);
    bool keyIsWritable(std::int64_t key);

    std::vector<std::string> subKeyNames(std::int64_t key);
    std::vector<std::string> valueNames(std::int64_t key);
    std::vector<RegValue> values(std::int64_t key);
    std::optional<RegValue> readValue(std::int64_t key, std::string_view name);

    // Creates or overwrites; an overwritten value keeps its place and the case of its name.
    void writeValue(std::int64_t key, std::string_view name, std::uint32_t type, std::string_view data);
    // True when the value existed.
    bool deleteValue(std::int64_t key, std::string_view name);
    // Deletes the key with all its subkeys and values; true when it existed. A root is never
    // deleted.
    bool deleteKeyTree(std::int64_t key);

    // Transactions nest: only the outermost level talks to SQLite.
    void beginTransaction();
    void commitTransaction();
    void rollbackTransaction() noexcept;
    bool inTransaction() const { return m_txDepth > 0; }

    // For tests that simulate a full disk.
    sqlite3 *nativeHandle() const { return m_db; }

private:
    class Statement;
    sqlite3_stmt *prepare(const char *sql);
    void exec(const char *sql);
    [[noreturn]] void fail(const std::string &what);
    void checkWritable(std::int64_t key);
    void noteWriteFailure(const std::string &what);
    std::int64_t rootId(RegRoot root) const;

    std::string m_path;
    sqlite3 *m_db = nullptr;
    std::vector<std::pair<const char *, sqlite3_stmt *>> m_cache;
    int m_txDepth = 0;
    bool m_txFailed = false;
    bool m_txDamaged = false; // the write that failed found the file damaged
    std::string m_txError;
};

// While it lives, RegistryStore::forThisThread() gives `store` on the thread that made it: a save
// made meanwhile goes into that file instead of the store's (the settings of a session whose store
// was found damaged are kept beside it). Scopes nest.
class RegistryStoreRedirect
{
public:
    explicit RegistryStoreRedirect(RegistryStore &store);
    ~RegistryStoreRedirect();
    RegistryStoreRedirect(const RegistryStoreRedirect &) = delete;
    RegistryStoreRedirect &operator=(const RegistryStoreRedirect &) = delete;

private:
    RegistryStore *m_previous;
};

// Scope of one top-level save: commit() makes it durable or raises; leaving the scope without
// commit() rolls everything back.
class RegistryTransaction
{
public:
    explicit RegistryTransaction(RegistryStore &store = RegistryStore::forThisThread());
    ~RegistryTransaction();
    RegistryTransaction(const RegistryTransaction &) = delete;
    RegistryTransaction &operator=(const RegistryTransaction &) = delete;
    void commit();

private:
    RegistryStore &m_store;
    bool m_done = false;
};

} // namespace qv
