// The settings store on SQLite: schema, key and value operations, transactions.
#include "platform/RegistryStore.h"

#include "beneath/RootFolder.h"

#include <QString>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace qv {

namespace {

constexpr std::int64_t kCurrentUserId = 1;
constexpr std::int64_t kLocalMachineId = 2;

const char *const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS keys (
    id INTEGER PRIMARY KEY,
    parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
    name TEXT NOT NULL,
    fold BLOB NOT NULL,
    UNIQUE (parent, fold)
);
CREATE TABLE IF NOT EXISTS vals (
    id INTEGER PRIMARY KEY,
    key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
    name BLOB NOT NULL,
    fold BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    UNIQUE (key, fold)
);
INSERT OR IGNORE INTO keys (id, parent, name, fold) VALUES (1, NULL, 'HKEY_CURRENT_USER', 'HKEY_CURRENT_USER');
INSERT OR IGNORE INTO keys (id, parent, name, fold) VALUES (2, NULL, 'HKEY_LOCAL_MACHINE', 'HKEY_LOCAL_MACHINE');
)sql";

thread_local RegistryStore *t_redirect = nullptr;

bool isDamage(int rc)
{
    rc &= 0xff;
    return rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB;
}

std::mutex g_pathMutex;
std::string g_storePath;
std::atomic<unsigned> g_pathGeneration{0};

bool validUtf8(std::string_view s)
{
    QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
    QString text = QString::fromUtf8(bytes);
    return text.toUtf8() == bytes;
}

} // namespace

const char *regRootName(RegRoot root)
{
    return root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool parseRegRootName(std::string_view text, RegRoot &root)
{
    std::string up = regFoldName(text);
    if (up == "HKEY_CURRENT_USER") {
        root = RegRoot::CurrentUser;
        return true;
    }
    if (up == "HKEY_LOCAL_MACHINE") {
        root = RegRoot::LocalMachine;
        return true;
    }
    return false;
}

std::vector<std::string> splitRegPath(std::string_view path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::string regFoldName(std::string_view name)
{
    // Windows compares and sorts names by their upper-case form. Names that are not valid UTF-8
    // are folded byte by byte (ASCII only), so that two different byte strings never collide.
    bool ascii = std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii || !validUtf8(name)) {
        std::string out(name);
        for (char &c : out) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        return out;
    }
    QString text = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    QByteArray up = text.toUpper().toUtf8();
    return std::string(up.constData(), static_cast<std::size_t>(up.size()));
}

// ----------------------------------------------------------------------------------------------

class RegistryStore::Statement
{
public:
    explicit Statement(sqlite3_stmt *st) : m_st(st) {}
    ~Statement()
    {
        sqlite3_reset(m_st);
        sqlite3_clear_bindings(m_st);
    }
    Statement &bind(int i, std::int64_t v)
    {
        sqlite3_bind_int64(m_st, i, v);
        return *this;
    }
    Statement &bindBlob(int i, std::string_view v)
    {
        sqlite3_bind_blob(m_st, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &bindText(int i, std::string_view v)
    {
        sqlite3_bind_text(m_st, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int step() { return sqlite3_step(m_st); }
    std::int64_t int64(int col) { return sqlite3_column_int64(m_st, col); }
    std::string blob(int col)
    {
        const void *p = sqlite3_column_blob(m_st, col);
        int n = sqlite3_column_bytes(m_st, col);
        return p ? std::string(static_cast<const char *>(p), static_cast<std::size_t>(n)) : std::string();
    }

private:
    sqlite3_stmt *m_st;
};

namespace {

// `path` with "." components, repeated and final slashes dropped and each ".." taking away the
// component before it, where there is one (QDir::cleanPath's rules: a ".." at the start stays).
std::string cleanPath(const std::string &path)
{
    if (path.empty()) {
        return path;
    }
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string part = path.substr(at, end - at);
        if (part == ".." && !parts.empty() && parts.back() != "..") {
            parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = end + 1;
    }
    const bool absolute = path[0] == '/';
    std::string clean = absolute ? "/" : "";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        clean += (i == 0 ? "" : "/") + parts[i];
    }
    return clean.empty() ? std::string(".") : clean;
}


bool isFolder(const std::string &path)
{
    struct stat st = {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The folder that holds `path`, absolute (a relative path is taken from the working folder) and
// cleaned, as QFileInfo::absolutePath() names it.
std::string absoluteFolderOf(const std::string &path)
{
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        std::vector<char> cwd(4096);
        while (::getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) {
            cwd.resize(cwd.size() * 2);
        }
        full = std::string(cwd.data()) + "/" + path;
    }
    full = cleanPath(full);
    const std::size_t slash = full.rfind('/');
    return slash == 0 ? std::string("/") : full.substr(0, slash);
}

// Makes `folder` and the folders above it that are missing; true when it is a folder afterwards.
bool makeFolders(const std::string &folder)
{
    int error = 0;
    return makeFolderChain(folder, 0777, error);
}

} // namespace

RegistryStore::RegistryStore(const std::string &path) : m_path(path)
{
    const std::string dir = absoluteFolderOf(path);
    if (!isFolder(dir)) {
        // Only a folder made here is made private; an existing folder is the user's business.
        if (!makeFolders(dir)) {
            throw RegistryError("Cannot create the settings folder \"" + dir + "\"");
        }
        ::chmod(dir.c_str(), 0700);
    }
    // The store keeps passwords as text: the file is created private.
    mode_t old = ::umask(0077);
    int rc = sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                             nullptr);
    ::umask(old);
    if (rc != SQLITE_OK) {
        std::string msg = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc);
        sqlite3_close(m_db);
        m_db = nullptr;
        throw RegistryError("Cannot open the settings store \"" + path + "\": " + msg);
    }
    ::chmod(path.c_str(), 0600);
    sqlite3_busy_timeout(m_db, 15000);
    sqlite3_extended_result_codes(m_db, 1);
    try {
        exec("PRAGMA journal_mode=WAL");
        // Each commit syncs the write-ahead log: a save the program reports done survives a power
        // cut (NORMAL would sync only at checkpoints, and a cut could roll the last saves back).
        exec("PRAGMA synchronous=FULL");
        exec("PRAGMA foreign_keys=ON");
        exec(kSchema);
    } catch (...) {
        sqlite3_close(m_db);
        m_db = nullptr;
        throw;
    }
}

RegistryStore::~RegistryStore()
{
    if (m_txDepth > 0) {
        m_txDepth = 1;
        rollbackTransaction();
    }
    for (auto &[sql, st] : m_cache) {
        sqlite3_finalize(st);
    }
    sqlite3_close(m_db);
}


std::string RegistryStore::defaultStorePath()
{
    // The configuration folder as Qt names it (QStandardPaths::GenericConfigLocation): the value of
    // XDG_CONFIG_HOME as it stands, else ~/.config with the home folder's path cleaned ("/" without
    // HOME). Made here from the environment: qv-run asks for it at every start, and Qt's path code
    // would page in about 200 KiB of Qt for it. The bytes of the variables are kept as they are.
    std::string base;
    if (const char *config = std::getenv("XDG_CONFIG_HOME"); config != nullptr) {
        base = config;
    }
    if (base.empty()) {
        const char *home = std::getenv("HOME");
        base = cleanPath(home != nullptr && home[0] != '\0' ? home : "/") + "/.config";
    }
    return base + "/quorvellant/registry.db";
}

std::string RegistryStore::storePath()
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    return g_storePath.empty() ? defaultStorePath() : g_storePath;
}

void RegistryStore::setStorePath(const std::string &path)
{
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_storePath = path;
    ++g_pathGeneration;
}

RegistryStore &RegistryStore::forThisThread()
{
    if (t_redirect != nullptr) {
        return *t_redirect;
    }
    thread_local std::unique_ptr<RegistryStore> store;
    thread_local unsigned generation = ~0u;
    unsigned current = g_pathGeneration.load();
    std::string wanted = storePath();
    if (!store || generation != current || store->path() != wanted) {
        if (store && store->inTransaction()) {
            throw RegistryError("The settings store changed while a save was in progress");
        }
        store.reset();
        store = std::make_unique<RegistryStore>(wanted);
        generation = current;
    }
    return *store;
}

sqlite3_stmt *RegistryStore::prepare(const char *sql)
{
    for (auto &[text, st] : m_cache) {
        if (text == sql) {
            return st;
        }
    }
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK) {
        fail("prepare");
    }
    m_cache.emplace_back(sql, st);
    return st;
}

void RegistryStore::exec(const char *sql)
{
    // SQLite answers some lock conflicts at once instead of through the busy handler (switching a
    // fresh file to WAL while another connection opens it, taking the write lock): such a
    // statement is tried again for as long as the busy time-out allows.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    for (;;) {
        char *err = nullptr;
        const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &err);
        if (rc == SQLITE_OK) {
            return;
        }
        std::string msg = err ? err : sqlite3_errmsg(m_db);
        sqlite3_free(err);
        if ((rc & 0xff) == SQLITE_BUSY && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (isDamage(rc)) {
            throw RegistryDamaged(m_path, msg);
        }
        throw RegistryError("Settings store \"" + m_path + "\": " + msg);
    }
}

void RegistryStore::fail(const std::string &what)
{
    if (isDamage(sqlite3_extended_errcode(m_db))) {
        throw RegistryDamaged(m_path, what + ": " + sqlite3_errmsg(m_db));
    }
    throw RegistryError("Settings store \"" + m_path + "\": " + what + ": " + sqlite3_errmsg(m_db));
}

std::int64_t RegistryStore::rootId(RegRoot root) const
{
    return root == RegRoot::LocalMachine ? kLocalMachineId : kCurrentUserId;
}

std::int64_t RegistryStore::findSubKey(std::int64_t parent, std::string_view name)
{
    Statement st(prepare("SELECT id FROM keys WHERE parent = ?1 AND fold = ?2"));
    st.bind(1, parent).bindBlob(2, regFoldName(name));
    int rc = st.step();
    if (rc == SQLITE_ROW) {
        return st.int64(0);
    }
    if (rc != SQLITE_DONE) {
        fail("find key");
    }
    return 0;
}

std::int64_t RegistryStore::findKey(RegRoot root, std::string_view path)
{
    std::int64_t id = rootId(root);
    for (const std::string &part : splitRegPath(path)) {
        id = findSubKey(id, part);
        if (id == 0) {
            return 0;
        }
    }
    return id;
}

std::int64_t RegistryStore::createKey(RegRoot root, std::string_view path)
{
    if (root == RegRoot::LocalMachine) {
        std::int64_t existing = findKey(root, path);
        if (existing != 0) {
            return existing;
        }
        throw RegistryError("HKEY_LOCAL_MACHINE is read-only");
    }
    if (m_txDepth > 0 && m_txFailed) {
        throw RegistryError("An earlier write of this save failed: " + m_txError);
    }
    std::int64_t id = rootId(root);
    for (const std::string &part : splitRegPath(path)) {
        std::int64_t next = findSubKey(id, part);
        if (next == 0) {
            Statement st(prepare("INSERT INTO keys (parent, name, fold) VALUES (?1, ?2, ?3)"));
            st.bind(1, id).bindBlob(2, part).bindBlob(3, regFoldName(part));
            if (st.step() != SQLITE_DONE) {
                std::string msg = std::string("create key \"") + part + "\": " + sqlite3_errmsg(m_db);
                noteWriteFailure(msg);
                throw RegistryError("Settings store \"" + m_path + "\": " + msg);
            }
            next = sqlite3_last_insert_rowid(m_db);
        }
        id = next;
    }
    return id;
}

std::string RegistryStore::keyName(std::int64_t key)
{
    Statement st(prepare("SELECT name FROM keys WHERE id = ?1"));
    st.bind(1, key);
    return st.step() == SQLITE_ROW ? st.blob(0) : std::string();
}

bool RegistryStore::keyIsWritable(std::int64_t key)
{
    std::int64_t id = key;
    for (int guard = 0; id != 0 && guard < 4096; ++guard) {
        if (id == kLocalMachineId) {
            return false;
        }
        if (id == kCurrentUserId) {
            return true;
        }
        Statement st(prepare("SELECT parent FROM keys WHERE id = ?1"));
        st.bind(1, id);
        id = st.step() == SQLITE_ROW ? st.int64(0) : 0;
    }
    return false;
}

void RegistryStore::checkWritable(std::int64_t key)
{
    if (m_txDepth > 0 && m_txFailed) {
        throw RegistryError("An earlier write of this save failed: " + m_txError);
    }
    if (!keyIsWritable(key)) {
        throw RegistryError("The key is read-only or no longer exists");
    }
}

void RegistryStore::noteWriteFailure(const std::string &what)
{
    if (m_txDepth > 0 && !m_txFailed) {
        m_txFailed = true;
        m_txError = what;
        m_txDamaged = isDamage(sqlite3_extended_errcode(m_db));
    }
}

std::vector<std::string> RegistryStore::subKeyNames(std::int64_t key)
{
    std::vector<std::string> names;
    Statement st(prepare("SELECT name FROM keys WHERE parent = ?1 ORDER BY fold"));
    st.bind(1, key);
    while (st.step() == SQLITE_ROW) {
        names.push_back(st.blob(0));
    }
    return names;
}

std::vector<std::string> RegistryStore::valueNames(std::int64_t key)
{
    std::vector<std::string> names;
    Statement st(prepare("SELECT name FROM vals WHERE key = ?1 ORDER BY id"));
    st.bind(1, key);
    while (st.step() == SQLITE_ROW) {
        names.push_back(st.blob(0));
    }
    return names;
}

std::vector<RegValue> RegistryStore::values(std::int64_t key)
{
    std::vector<RegValue> out;
    Statement st(prepare("SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY id"));
    st.bind(1, key);
    while (st.step() == SQLITE_ROW) {
        out.push_back(RegValue{st.blob(0), static_cast<std::uint32_t>(st.int64(1)), st.blob(2)});
    }
    return out;
}

std::optional<RegValue> RegistryStore::readValue(std::int64_t key, std::string_view name)
{
    Statement st(prepare("SELECT name, type, data FROM vals WHERE key = ?1 AND fold = ?2"));
    st.bind(1, key).bindBlob(2, regFoldName(name));
    if (st.step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return RegValue{st.blob(0), static_cast<std::uint32_t>(st.int64(1)), st.blob(2)};
}

void RegistryStore::writeValue(std::int64_t key, std::string_view name, std::uint32_t type, std::string_view data)
{
    checkWritable(key);
    Statement st(prepare("INSERT INTO vals (key, name, fold, type, data) VALUES (?1, ?2, ?3, ?4, ?5) "
                         "ON CONFLICT (key, fold) DO UPDATE SET type = excluded.type, data = excluded.data"));
    st.bind(1, key).bindBlob(2, name).bindBlob(3, regFoldName(name)).bind(4, type).bindBlob(5, data);
    if (st.step() != SQLITE_DONE) {
        std::string msg = "write value \"" + std::string(name) + "\": " + sqlite3_errmsg(m_db);
        noteWriteFailure(msg);
        throw RegistryError("Settings store \"" + m_path + "\": " + msg);
    }
}

bool RegistryStore::deleteValue(std::int64_t key, std::string_view name)
{
    checkWritable(key);
    Statement st(prepare("DELETE FROM vals WHERE key = ?1 AND fold = ?2"));
    st.bind(1, key).bindBlob(2, regFoldName(name));
    if (st.step() != SQLITE_DONE) {
        std::string msg = "delete value \"" + std::string(name) + "\": " + sqlite3_errmsg(m_db);
        noteWriteFailure(msg);
        throw RegistryError("Settings store \"" + m_path + "\": " + msg);
    }
    return sqlite3_changes(m_db) > 0;
}

bool RegistryStore::deleteKeyTree(std::int64_t key)
{
    if (key == kCurrentUserId || key == kLocalMachineId || key == 0) {
        return false;
    }
    checkWritable(key);
    Statement st(prepare("DELETE FROM keys WHERE id = ?1"));
    st.bind(1, key);
    if (st.step() != SQLITE_DONE) {
        std::string msg = std::string("delete key: ") + sqlite3_errmsg(m_db);
        noteWriteFailure(msg);
        throw RegistryError("Settings store \"" + m_path + "\": " + msg);
    }
    return sqlite3_changes(m_db) > 0;
}

void RegistryStore::beginTransaction()
{
    if (m_txDepth == 0) {
        exec("BEGIN IMMEDIATE");
        m_txFailed = false;
        m_txDamaged = false;
        m_txError.clear();
    }
    ++m_txDepth;
}

void RegistryStore::commitTransaction()
{
    if (m_txDepth == 0) {
        throw RegistryError("No save in progress");
    }
    if (m_txDepth > 1) {
        --m_txDepth;
        return;
    }
    if (m_txFailed) {
        const std::string why = m_txError;
        const bool damaged = m_txDamaged;
        rollbackTransaction();
        if (damaged) {
            throw RegistryDamaged(m_path, why);
        }
        throw RegistryError("The settings were not saved: " + why);
    }
    if (const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); rc != SQLITE_OK) {
        std::string why = sqlite3_errmsg(m_db);
        rollbackTransaction();
        if (isDamage(rc)) {
            throw RegistryDamaged(m_path, why);
        }
        throw RegistryError("The settings were not saved (\"" + m_path + "\"): " + why);
    }
    m_txDepth = 0;
}

void RegistryStore::rollbackTransaction() noexcept
{
    if (m_txDepth == 0) {
        return;
    }
    if (m_txDepth > 1) {
        // An inner scope cannot undo only its own writes: the whole save is spoiled.
        --m_txDepth;
        if (!m_txFailed) {
            m_txFailed = true;
            m_txError = "part of the save was abandoned";
        }
        return;
    }
    if (!sqlite3_get_autocommit(m_db)) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    m_txDepth = 0;
    m_txFailed = false;
    m_txError.clear();
}

// ----------------------------------------------------------------------------------------------

RegistryStoreRedirect::RegistryStoreRedirect(RegistryStore &store) : m_previous(t_redirect)
{
    t_redirect = &store;
}

RegistryStoreRedirect::~RegistryStoreRedirect()
{
    t_redirect = m_previous;
}

RegistryTransaction::RegistryTransaction(RegistryStore &store) : m_store(store)
{
    m_store.beginTransaction();
}

RegistryTransaction::~RegistryTransaction()
{
    if (!m_done) {
        m_store.rollbackTransaction();
    }
}

void RegistryTransaction::commit()
{
    m_done = true;
    m_store.commitTransaction();
}

} // namespace qv
