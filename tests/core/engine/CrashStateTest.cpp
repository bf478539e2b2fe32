// What a power cut leaves: real runs recorded at the system-call level, every state a cut could
// leave rebuilt from the record, each state checked and then run again to the end.
//
// The persistence model: names and sizes (create, rename, link, unlink, mkdir, truncate, times,
// modes) reach the disk in the order they were made; data reaches it only when a sync covers it
// (fsync or fdatasync of its file, syncfs). After a cut a file holds the data last synced, never
// more than that: unsynced data is absent, and a file whose data never was synced is empty. A cut
// may come after any recorded call. Each state must hold, for every file that existed before the
// run, its old or its new bytes; every content the run meant to keep (a source, a version, an
// archived copy, a moved file) somewhere; a settings store that opens with every save reported done;
// and a run started from it must end with the destination equal to the source.
// qv-test-labels: slow
// qv-test-timeout: 900
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <dirent.h>
#include <iostream>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace enginetest;

struct Node {
    std::string cur;   // what the program wrote
    std::string dur;   // what the last sync covered
    std::size_t dsize = 0; // the size a cut leaves: never above the synced data
    long long sec = 0;
    long nsec = 0;
    unsigned mode = 0644;
};

struct Visible {
    std::string data;
    long long sec = 0;
    long nsec = 0;
    unsigned mode = 0644;
    bool operator==(const Visible &o) const { return data == o.data; }
};

struct State {
    std::map<std::string, Visible> files;
    std::set<std::string> folders;
    int saved = 0; // settings saves reported done so far
};

bool isTemp(const std::string &path)
{
    return path.find(".qvtmp-") != std::string::npos || path.find(".KPZ") != std::string::npos;
}

// The file system as the record says it went, call after call.
class Model
{
public:
    explicit Model(const State &initial)
    {
        for (const auto &[path, v] : initial.files) {
            auto n = std::make_shared<Node>();
            n->cur = n->dur = v.data;
            n->dsize = v.data.size();
            n->sec = v.sec;
            n->nsec = v.nsec;
            n->mode = v.mode;
            m_names[path] = n;
        }
        m_folders = initial.folders;
    }

    void apply(const std::string &text)
    {
        std::istringstream in(text);
        std::string verb;
        in >> verb;
        auto rest = [&] {
            std::string r;
            std::getline(in, r);
            r = r.empty() ? r : r.substr(1);
            for (std::size_t tab; (tab = r.find("/\t")) != std::string::npos;) {
                r.erase(tab, 1);
            }
            while (r.size() > 1 && r.back() == '/') {
                r.pop_back();
            }
            return r;
        };
        auto node = [&](int fd) -> Node * {
            auto it = m_fds.find(fd);
            return it == m_fds.end() ? nullptr : it->second.get();
        };
        if (verb == "open") {
            int fd = 0, flags = 0;
            in >> fd >> flags;
            const std::string path = rest();
            if ((flags & O_TMPFILE) == O_TMPFILE) {
                m_fds[fd] = std::make_shared<Node>(); // no name until a link gives it one
                return;
            }
            if ((flags & O_DIRECTORY) != 0 || m_folders.count(path) != 0) {
                m_fds.erase(fd);
                return;
            }
            auto &slot = m_names[path];
            if (!slot) {
                slot = std::make_shared<Node>();
            } else if (flags & O_TRUNC) {
                truncate(*slot, 0);
            }
            m_fds[fd] = slot;
        } else if (verb == "write") {
            int fd = 0;
            long long at = 0;
            std::string hex;
            in >> fd >> at >> hex;
            if (Node *n = node(fd)) {
                std::string bytes(hex.size() / 2, '\0');
                for (std::size_t i = 0; i < bytes.size(); ++i) {
                    bytes[i] = static_cast<char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
                }
                if (n->cur.size() < static_cast<std::size_t>(at) + bytes.size()) {
                    n->cur.resize(static_cast<std::size_t>(at) + bytes.size());
                }
                n->cur.replace(static_cast<std::size_t>(at), bytes.size(), bytes);
            }
        } else if (verb == "trunc") {
            int fd = 0;
            long long length = 0;
            in >> fd >> length;
            if (Node *n = node(fd)) {
                truncate(*n, static_cast<std::size_t>(length));
            }
        } else if (verb == "truncp") {
            long long length = 0;
            in >> length;
            auto it = m_names.find(rest());
            if (it != m_names.end()) {
                truncate(*it->second, static_cast<std::size_t>(length));
            }
        } else if (verb == "fsync" || verb == "fdatasync") {
            int fd = 0;
            in >> fd;
            if (Node *n = node(fd)) {
                sync(*n);
            }
        } else if (verb == "syncfs") {
            for (auto &[path, n] : m_names) {
                sync(*n);
            }
            for (auto &[fd, n] : m_fds) {
                sync(*n); // open files whose names are gone
            }
        } else if (verb == "close") {
            int fd = 0;
            in >> fd;
            m_fds.erase(fd);
        } else if (verb == "dup") {
            int fd = 0, to = 0;
            in >> fd >> to;
            if (m_fds.count(fd) != 0) {
                m_fds[to] = m_fds[fd];
            }
        } else if (verb == "mtime") {
            int fd = 0;
            in >> fd;
            if (Node *n = node(fd)) {
                in >> n->sec >> n->nsec;
            }
        } else if (verb == "mtimep") {
            long long sec = 0;
            long nsec = 0;
            in >> sec >> nsec;
            auto it = m_names.find(rest());
            if (it != m_names.end()) {
                it->second->sec = sec;
                it->second->nsec = nsec;
            }
        } else if (verb == "chmod") {
            int fd = 0;
            in >> fd;
            if (Node *n = node(fd)) {
                in >> std::oct >> n->mode;
            }
        } else if (verb == "chmodp") {
            unsigned mode = 0;
            in >> std::oct >> mode;
            auto it = m_names.find(rest());
            if (it != m_names.end()) {
                it->second->mode = mode;
            }
        } else if (verb == "rename" || verb == "link") {
            const std::string both = rest();
            const std::size_t tab = both.find('\t');
            const std::string from = both.substr(0, tab), to = both.substr(tab + 1);
            if (m_folders.count(from) != 0) {
                renameFolder(from, to);
            } else if (m_names.count(from) != 0) {
                m_names[to] = m_names[from];
                if (verb == "rename" && from != to) {
                    m_names.erase(from);
                }
            }
        } else if (verb == "linkfd") {
            int fd = 0;
            in >> fd;
            if (m_fds.count(fd) != 0) {
                m_names[rest()] = m_fds[fd];
            }
        } else if (verb == "unlink") {
            m_names.erase(rest());
        } else if (verb == "mkdir") {
            m_folders.insert(rest());
        } else if (verb == "rmdir") {
            m_folders.erase(rest());
        } else if (verb == "mark") {
            ++m_saved;
        }
    }

    // The file at `path`: none, written and synced since its last write, or not.
    enum class Data { Missing, Synced, Unsynced };
    Data data(const std::string &path) const
    {
        const auto it = m_names.find(path);
        if (it == m_names.end()) {
            return Data::Missing;
        }
        return it->second->dsize == it->second->cur.size() && it->second->dur == it->second->cur ? Data::Synced
                                                                                                 : Data::Unsynced;
    }

    // The state a power cut leaves now (`durable` false) or the state the program sees (true).
    State state(bool asWritten) const
    {
        State s;
        for (const auto &[path, n] : m_names) {
            Visible v;
            v.data = asWritten ? n->cur : n->dur.substr(0, std::min(n->dsize, n->dur.size()));
            v.sec = n->sec;
            v.nsec = n->nsec;
            v.mode = n->mode;
            s.files[path] = v;
        }
        s.folders = m_folders;
        s.saved = m_saved;
        return s;
    }

private:
    static void truncate(Node &n, std::size_t length)
    {
        n.cur.resize(length);
        n.dsize = std::min(n.dsize, length);
    }
    static void sync(Node &n)
    {
        n.dur = n.cur;
        n.dsize = n.cur.size();
    }
    void renameFolder(const std::string &from, const std::string &to)
    {
        auto moved = [&](const std::string &p) { return p == from || p.compare(0, from.size() + 1, from + "/") == 0; };
        std::map<std::string, std::shared_ptr<Node>> names;
        for (auto &[p, n] : m_names) {
            names[moved(p) ? to + p.substr(from.size()) : p] = n;
        }
        m_names.swap(names);
        std::set<std::string> folders;
        for (const std::string &p : m_folders) {
            folders.insert(moved(p) ? to + p.substr(from.size()) : p);
        }
        m_folders.swap(folders);
    }

    std::map<std::string, std::shared_ptr<Node>> m_names;
    std::set<std::string> m_folders;
    std::map<int, std::shared_ptr<Node>> m_fds;
    int m_saved = 0;
};

void walk(const std::string &path, State &s)
{
    DIR *d = ::opendir(path.c_str());
    ASSERT_NE(d, nullptr) << path;
    while (struct dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string p = path + "/" + name;
        struct stat st;
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        if (S_ISDIR(st.st_mode)) {
            s.folders.insert(p);
            walk(p, s);
        } else if (S_ISREG(st.st_mode)) {
            Visible v;
            v.data = qvtest::readFile(p);
            v.sec = st.st_mtim.tv_sec;
            v.nsec = st.st_mtim.tv_nsec;
            v.mode = st.st_mode & 07777;
            s.files[p] = v;
        }
    }
    ::closedir(d);
}

State snapshot(const std::string &root)
{
    State s;
    s.folders.insert(root);
    walk(root, s);
    return s;
}

// Puts `s` on the disk in place of the tree at `root`. The settings store's shared-memory index
// is left out: SQLite rebuilds it from the log when the store is opened after a crash.
void materialize(const std::string &root, const State &s)
{
    qvtest::runShell("rm -rf '" + root + "'");
    for (const std::string &f : s.folders) {
        ::mkdir(f.c_str(), 0755);
    }
    for (const auto &[path, v] : s.files) {
        if (path.size() > 4 && path.compare(path.size() - 4, 4, "-shm") == 0) {
            continue;
        }
        qvtest::writeFile(path, v.data);
        ::chmod(path.c_str(), v.mode);
        const struct timespec times[2] = {{v.sec, v.nsec}, {v.sec, v.nsec}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
}

struct Scenario {
    std::string name;
    std::function<std::string(const std::string &)> zones; // folders on separate file systems, ':' between
    std::function<void(const std::string &)> prepare;    // the tree before the run
    std::function<std::vector<std::vector<std::string>>(const std::string &)> runs; // each recorded
    std::function<bool(const std::string &)> excluded;   // paths checked by `extra`, not by content
    std::function<std::string(const std::string &, const State &)> extra; // more checks of a state
    std::function<std::string(const std::string &, const State &)> afterRerun; // the tree after the runs again
    std::function<std::shared_ptr<void>(const std::string &)> hold; // kept while the runs are recorded
};

std::string sameTrees(const std::string &a, const std::string &b, const std::string &except = {})
{
    std::vector<std::string> argv = {"diff", "-r"};
    if (!except.empty()) {
        argv.insert(argv.end(), {"-x", except});
    }
    argv.insert(argv.end(), {a, b});
    const auto r = qvtest::runCommand(argv, 60);
    return r.exitCode == 0 ? std::string() : "differ: " + r.output.substr(0, 400);
}

std::vector<std::string> recorded(const std::string &root, const std::string &log, const std::string &zones,
                                  const std::vector<std::string> &command)
{
    std::vector<std::string> argv = {"env",
                                     "LD_PRELOAD=" + qvtest::binPath("qv_fsrecord.so"),
                                     "QV_FSREC_LOG=" + log,
                                     "QV_FSREC_ROOT=" + root,
                                     "QV_FSREC_ZONES=" + zones,
                                     "ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0"};
    argv.insert(argv.end(), command.begin(), command.end());
    return argv;
}

// Runs the scenario under the recorder, then checks every state a cut could leave.
void checkScenario(const Scenario &sc)
{
    const std::string base = qvtest::makeTempDir("crash-" + sc.name);
    const std::string root = base + "/t";
    const std::string log = base + "/calls.log";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    sc.prepare(root);
    ::sync();
    const State initial = snapshot(root);
    const auto runs = sc.runs(root);
    std::shared_ptr<void> held = sc.hold ? sc.hold(root) : nullptr;
    for (const auto &command : runs) {
        const auto r = qvtest::runCommand(recorded(root, log, sc.zones ? sc.zones(root) : std::string(), command), 240);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        std::ofstream(log, std::ios::app) << "mark\n";
    }
    held.reset();
    std::vector<std::string> calls;
    {
        std::ifstream in(log);
        for (std::string l; std::getline(in, l);) {
            calls.push_back(l);
        }
    }
    ASSERT_GT(calls.size(), runs.size()) << "nothing recorded: is the recorder preloaded?";

    // The contents the run keeps: whatever existed before and still exists somewhere after it.
    Model model(initial);
    for (const std::string &c : calls) {
        model.apply(c);
    }
    const State final = model.state(true);
    const auto excluded = [&](const std::string &p) { return isTemp(p) || (sc.excluded && sc.excluded(p)); };
    std::multiset<std::string> finalContents;
    for (const auto &[p, v] : final.files) {
        if (!excluded(p)) {
            finalContents.insert(v.data);
        }
    }
    std::set<std::string> kept;
    for (const auto &[p, v] : initial.files) {
        if (!excluded(p) && finalContents.count(v.data) != 0) {
            kept.insert(v.data);
        }
    }

    Model replay(initial);
    std::vector<State> states = {initial};
    for (const std::string &c : calls) {
        replay.apply(c);
        states.push_back(replay.state(false));
    }
    std::vector<std::string> faults;
    std::set<std::string> seen;
    std::vector<std::size_t> distinct;
    for (std::size_t k = 0; k < states.size(); ++k) {
        const State &s = states[k];
        const std::string at = "after call " + std::to_string(k) + (k > 0 ? " (" + calls[k - 1].substr(0, 90) + ")" : "");
        std::set<std::string> present;
        std::string signature = std::to_string(s.saved) + "\n";
        for (const auto &[p, v] : s.files) {
            if (excluded(p)) {
                if (!isTemp(p)) {
                    signature += p + "\n" + v.data + "\n";
                }
                continue;
            }
            present.insert(v.data);
            signature += p + "\n" + v.data + "\n";
            const auto before = initial.files.find(p);
            const auto after = final.files.find(p);
            if (before == initial.files.end()) {
                continue; // a new file may be absent or short; the next run copies it again
            }
            if (!(v == before->second) && (after == final.files.end() || !(v == after->second))) {
                faults.push_back(at + ": " + p + " holds " + std::to_string(v.data.size()) +
                                 " bytes, neither its old nor its new content");
            }
        }
        for (const std::string &c : kept) {
            if (present.count(c) == 0) {
                faults.push_back(at + ": a content of " + std::to_string(c.size()) + " bytes that the run keeps is gone");
                break;
            }
        }
        if (sc.extra && seen.count(signature) == 0) {
            materialize(root, s);
            if (const std::string e = sc.extra(root, s); !e.empty()) {
                faults.push_back(at + ": " + e);
            }
        }
        if (seen.insert(signature).second) {
            distinct.push_back(k);
        }
        if (faults.size() >= 3) {
            break;
        }
    }
    for (const std::string &f : faults) {
        ADD_FAILURE() << sc.name << ": " << f;
    }
    if (!faults.empty() || !sc.afterRerun) {
        return;
    }
    // Every distinct state, run again to the end without the recorder.
    int rerunFaults = 0;
    for (std::size_t k : distinct) {
        materialize(root, states[k]);
        for (const auto &command : runs) {
            const auto r = qvtest::runCommand(command, 240);
            // A move with nothing left to move ends as aborted ("Source files list is empty").
            const bool nothingLeft = sc.name.compare(0, 4, "move") == 0 && r.output.find("list is empty") != std::string::npos;
            EXPECT_TRUE(r.exitCode == 0 || nothingLeft) << sc.name << " after call " << k << ": " << r.output;
        }
        if (const std::string e = sc.afterRerun(root, final); !e.empty()) {
            ADD_FAILURE() << sc.name << ": the run again from the state after call " << k << ": " << e;
            if (++rerunFaults > 4) {
                break;
            }
        }
    }
    std::cout << sc.name << ": " << calls.size() << " calls, " << distinct.size() << " distinct states\n";
    qvtest::runShell("rm -rf '" + base + "'");
}

// Sources of 1-50 KB; the destination holds older copies of some (to be replaced), files that
// are gone from the source (obsolete), and lacks others (new).
void sourcesAndOldCopies(const std::string &root, bool obsolete)
{
    // Enough replacements that their syncs are batched (one sync of the file system for many).
    for (int i = 0; i < 20; ++i) {
        const std::string name = (i < 4 ? "/sub/f" : "/f") + std::to_string(i);
        put(root + "/src" + name, std::string(1000 + 2500 * i, static_cast<char>('a' + i)), 1700000000 + i);
        if (i % 2 == 0) {
            put(root + "/dst" + name, std::string(700 + 300 * i, static_cast<char>('A' + i)), 1600000000 + i);
        }
    }
    if (obsolete) {
        put(root + "/dst/gone1", std::string(3000, 'x'), 1600000000);
        put(root + "/dst/sub/gone2", std::string(5000, 'y'), 1600000000);
    }
}

std::vector<std::string> qvRun(std::vector<std::string> args)
{
    args.insert(args.begin(), qvtest::binPath("qv-run"));
    args.push_back("--quiet");
    return args;
}

const char kKey[] = "\\Software\\Tavimundrelo\\Quorvellant\\Main";

std::string sameAsSource(const std::string &r, const State &)
{
    return sameTrees(r + "/src", r + "/dst");
}

std::vector<Scenario> scenarios()
{
    std::vector<Scenario> all(6);
    Scenario &simple = all[0];
    simple.name = "simple-versions";
    simple.prepare = [](const std::string &r) { sourcesAndOldCopies(r, false); };
    simple.runs = [](const std::string &r) {
        return std::vector<std::vector<std::string>>{
            qvRun({"--source", r + "/src", "--dest", r + "/dst", "--versions", r + "/ver"})};
    };
    simple.afterRerun = sameAsSource;

    // The versions and the archive on another disk: old copies are copied there, not renamed.
    Scenario &exact = all[1];
    exact.name = "exact-archive-versions-other-disk";
    exact.zones = [](const std::string &r) { return r + "/other:" + r; };
    exact.prepare = [](const std::string &r) {
        sourcesAndOldCopies(r, true);
        ASSERT_EQ(::mkdir((r + "/other").c_str(), 0755), 0);
    };
    exact.runs = [](const std::string &r) {
        return std::vector<std::vector<std::string>>{
            qvRun({"--source", r + "/src", "--dest", r + "/dst", "--type", "exact", "--delete-kind", "archive",
                   "--archive", r + "/other/archive", "--versions", r + "/other/ver"})};
    };
    exact.afterRerun = sameAsSource;

    Scenario &move = all[2];
    move.name = "move-other-disk";
    move.zones = [](const std::string &r) { return r + "/src:" + r + "/dst"; };
    move.prepare = [](const std::string &r) { sourcesAndOldCopies(r, false); };
    move.runs = [](const std::string &r) {
        return std::vector<std::vector<std::string>>{qvRun({"--source", r + "/src", "--dest", r + "/dst", "--type", "move"})};
    };
    move.afterRerun = [](const std::string &r, const State &final) {
        const State now = snapshot(r);
        for (const auto &[p, v] : final.files) {
            const auto it = now.files.find(p);
            if (p.find("/dst/") != std::string::npos && (it == now.files.end() || !(it->second == v))) {
                return p + " does not hold the moved file";
            }
        }
        for (const auto &[p, v] : now.files) {
            if (p.find("/src/") != std::string::npos) {
                return p + " is left in the source";
            }
        }
        return std::string();
    };

    Scenario &both = all[3];
    both.name = "synchronise";
    both.prepare = [](const std::string &r) {
        sourcesAndOldCopies(r, false);
        put(r + "/dst/only-here", std::string(4000, 'q'), 1750000000);
        put(r + "/dst/f1", std::string(9000, 'n'), 1750000000); // newer on this side
    };
    both.runs = [](const std::string &r) {
        return std::vector<std::vector<std::string>>{qvRun({"--source", r + "/src", "--dest", r + "/dst", "--type", "sync"})};
    };
    both.afterRerun = sameAsSource;

    Scenario &zip = all[4];
    zip.name = "compress-update";
    zip.prepare = [](const std::string &r) {
        sourcesAndOldCopies(r, false);
        const auto first = qvtest::runCommand(qvRun({"--source", r + "/src", "--compress", r + "/dst/a.zip"}), 240);
        ASSERT_EQ(first.exitCode, 0) << first.output;
        put(r + "/src/f1", std::string(7000, 'z'), 1800000000);
        put(r + "/src/new", std::string(2000, 'w'), 1800000000);
    };
    zip.runs = [](const std::string &r) {
        return std::vector<std::vector<std::string>>{qvRun({"--source", r + "/src", "--compress", r + "/dst/a.zip"})};
    };
    zip.afterRerun = [](const std::string &r, const State &) {
        const std::string out = r + "/out";
        const auto x = qvtest::runCommand({qvtest::binPath("qv-zip"), "x", r + "/dst/a.zip", out}, 60);
        if (x.exitCode != 0) {
            return "the archive does not extract: " + x.output.substr(0, 300);
        }
        const auto d = qvtest::runCommand({"diff", "-r", r + "/src", out}, 60);
        return d.exitCode == 0 ? std::string() : "the archive differs from the source: " + d.output.substr(0, 300);
    };

    Scenario &settings = all[5];
    settings.name = "settings-save";
    settings.prepare = [](const std::string &r) {
        const auto first = qvtest::runCommand(
            {qvtest::binPath("qv-regtool"), "--db", r + "/cfg/registry.db", "set", kKey, "V0", "sz", "0"});
        ASSERT_EQ(first.exitCode, 0) << first.output;
    };
    settings.runs = [](const std::string &r) {
        std::vector<std::vector<std::string>> sets;
        for (int i = 1; i <= 3; ++i) {
            sets.push_back({qvtest::binPath("qv-regtool"), "--db", r + "/cfg/registry.db", "set", kKey,
                            "V" + std::to_string(i), "sz", std::string(300 * i, static_cast<char>('0' + i))});
        }
        return sets;
    };
    // The program keeps the store open: a save ends with its commit, not with a checkpoint at close.
    settings.hold = [](const std::string &r) -> std::shared_ptr<void> {
        sqlite3 *db = nullptr;
        EXPECT_EQ(sqlite3_open((r + "/cfg/registry.db").c_str(), &db), SQLITE_OK);
        EXPECT_EQ(sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr), SQLITE_OK);
        return std::shared_ptr<void>(db, [](void *d) { sqlite3_close(static_cast<sqlite3 *>(d)); });
    };
    settings.excluded = [](const std::string &p) { return p.find("/cfg/") != std::string::npos; };
    settings.extra = [](const std::string &r, const State &s) {
        for (int i = 0; i <= s.saved; ++i) {
            const auto g = qvtest::runCommand(
                {qvtest::binPath("qv-regtool"), "--db", r + "/cfg/registry.db", "get", kKey, "V" + std::to_string(i)}, 60);
            const std::string want = i == 0 ? "0\n" : std::string(300 * i, static_cast<char>('0' + i)) + "\n";
            if (g.exitCode != 0 || g.output != want) {
                return "the save " + std::to_string(i) + " reported done is lost (" + g.output.substr(0, 80) + ")";
            }
        }
        return std::string();
    };
    return all;
}

// The order itself, with several copy workers and with one: every rename that replaces a file
// comes after a sync of the new file's data; a new file made without a name is linked where
// nothing was.
TEST(CrashStateTrace, EachReplacingRenameFollowsASyncOfItsData)
{
    for (const char *workers : {"1", "4"}) {
        SCOPED_TRACE(std::string("workers ") + workers);
        const std::string base = qvtest::makeTempDir("crash-trace");
        const std::string root = base + "/t", log = base + "/calls.log";
        ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
        constexpr int kFiles = 30;
        for (int i = 0; i < kFiles; ++i) {
            put(root + "/src/d" + std::to_string(i % 3) + "/f" + std::to_string(i), std::string(100 * i + 1, 'n'), 1700000000);
            put(root + "/dst/d" + std::to_string(i % 3) + "/f" + std::to_string(i), std::string(50 * i, 'o'), 1600000000);
        }
        put(root + "/src/new", "new", 1700000000);
        const State initial = snapshot(root);
        std::vector<std::string> command = {"QV_COPY_WORKERS=" + std::string(workers)};
        for (const std::string &a : qvRun({"--source", root + "/src", "--dest", root + "/dst", "--type", "exact",
                                           "--delete-kind", "normal"})) {
            command.push_back(a);
        }
        const auto r = qvtest::runCommand(recorded(root, log, {}, command), 240);
        ASSERT_EQ(r.exitCode, 0) << r.output;
        Model model(initial);
        int replacing = 0, unsynced = 0, linked = 0;
        std::ifstream in(log);
        for (std::string l; std::getline(in, l);) {
            if (l.compare(0, 7, "linkfd ") == 0) {
                // A file made without a name gets one only where there was none.
                const std::string to = l.substr(l.find(' ', 7) + 1);
                EXPECT_EQ(model.data(to), Model::Data::Missing) << l;
                linked += isTemp(to) ? 0 : 1;
            }
            if (l.compare(0, 7, "rename ") == 0) {
                const std::string both = l.substr(7);
                const std::string from = both.substr(0, both.find('\t')), to = both.substr(both.find('\t') + 1);
                if (model.data(to) != Model::Data::Missing) {
                    ++replacing;
                    if (model.data(from) != Model::Data::Synced && ++unsynced == 1) {
                        ADD_FAILURE() << "renamed over " << to << " before its data was synced";
                    }
                }
            }
            model.apply(l);
        }
        EXPECT_EQ(replacing, kFiles);
        EXPECT_EQ(unsynced, 0);
        const int probe = ::open(root.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        EXPECT_EQ(linked, probe >= 0 ? 1 : 0); // the one new file, where unnamed files are made
        if (probe >= 0) {
            ::close(probe);
        }
        qvtest::runShell("rm -rf '" + base + "'");
    }
}

class CrashState : public ::testing::TestWithParam<int>
{
};

TEST_P(CrashState, EveryStateAPowerCutLeavesHoldsOldOrNewAndRunsToTheEnd)
{
    QV_REQUIRE_TOOL("diff");
    checkScenario(scenarios()[static_cast<std::size_t>(GetParam())]);
}

INSTANTIATE_TEST_SUITE_P(Runs, CrashState, ::testing::Range(0, 6),
                         [](const ::testing::TestParamInfo<int> &info) {
                             std::string n = scenarios()[static_cast<std::size_t>(info.param)].name;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

} // namespace
