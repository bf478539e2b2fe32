// A program linked with the allocation tracking that misbehaves on request, for the leak checker's
// tests: known leaks (of operator new and of the C allocation functions), a write after delete, a
// virtual call on a deleted object, a block released twice, a damaged heap, a crash.
#include "diagnostics/LeakCheck.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <csignal>
#include <stdexcept>
#include <string>
#include <vector>

namespace probe {

struct Foo {
    virtual ~Foo() = default;
    virtual int value() const { return m_value; }
    virtual int twice() const { return 2 * m_value; }
    int m_value = 7;
};

char *volatile g_keep[64];

__attribute__((noinline)) void leakBytes()
{
    g_keep[0] = new char[100];
}

__attribute__((noinline)) void leakThreeFoos()
{
    for (int i = 0; i < 3; ++i) {
        g_keep[1 + i] = reinterpret_cast<char *>(new Foo);
    }
}

__attribute__((noinline)) void leakOneFoo()
{
    g_keep[4] = reinterpret_cast<char *>(new Foo);
}

__attribute__((noinline)) void allocateAndFree()
{
    std::vector<std::string> v;
    for (int i = 0; i < 100; ++i) {
        v.push_back(std::string(40, 'x') + std::to_string(i));
    }
    delete new Foo;
}

__attribute__((noinline)) void writeAfterDelete()
{
    char *p = new char[64];
    char *volatile alias = p;
    delete[] p;
    alias[5] = 1;
}

__attribute__((noinline)) int callDeleted()
{
    Foo *f = new Foo;
    Foo *volatile alias = f;
    delete f;
    return alias->twice();
}

__attribute__((noinline)) void leakCBlocks()
{
    g_keep[10] = strdup("copied by strdup");              // 17 bytes through malloc
    g_keep[11] = static_cast<char *>(std::malloc(40));
    g_keep[12] = static_cast<char *>(std::calloc(3, 20)); // 60 bytes
    char *grown = static_cast<char *>(std::malloc(10));
    std::strcpy(grown, "abc");
    grown = static_cast<char *>(std::realloc(grown, 300));
    g_keep[13] = grown;
}

__attribute__((noinline)) void cBlocksFreed()
{
    char *a = static_cast<char *>(std::malloc(64));
    char *b = static_cast<char *>(std::calloc(8, 8));
    char *c = static_cast<char *>(std::realloc(std::malloc(16), 4000));
    char *d = strdup("freed again");
    std::free(a);
    std::free(b);
    std::free(c);
    std::free(d);
    std::free(std::realloc(nullptr, 12));
}

__attribute__((noinline)) void releaseTwice()
{
    char *p = static_cast<char *>(std::malloc(32));
    char *volatile alias = p;
    std::free(p);
    std::free(alias);
}

__attribute__((noinline)) void freeInsideABlock()
{
    char *p = static_cast<char *>(std::malloc(64));
    std::memset(p, 0, 64); // what the C library takes for the header of a block of size 0
    char *volatile inside = p + 16;
    std::free(inside);
}

} // namespace probe

int main(int argc, char **argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    std::printf("active=%d\n", qv::leakcheck::LeakCheck::isActive() ? 1 : 0);
    if (mode == "leaks") {
        probe::leakBytes();
        probe::leakThreeFoos();
        probe::leakOneFoo();
        probe::allocateAndFree();
    } else if (mode == "none") {
        probe::allocateAndFree();
        probe::cBlocksFreed();
    } else if (mode == "c-leaks") {
        probe::leakCBlocks();
        probe::cBlocksFreed();
    } else if (mode == "double-free") {
        probe::releaseTwice();
        std::printf("still running\n");
    } else if (mode == "bad-free") {
        probe::freeInsideABlock();
    } else if (mode == "damage") {
        probe::writeAfterDelete();
    } else if (mode == "freed-call") {
        try {
            std::printf("value=%d\n", probe::callDeleted());
        } catch (const qv::leakcheck::EBadInstance &e) {
            std::printf("EBadInstance: %s\n", e.what());
        }
    } else if (mode == "segv") {
        int *volatile null = nullptr;
        *null = 1;
    } else if (mode == "throw") {
        throw std::runtime_error("probe failure");
    } else if (mode == "many") {
        for (int i = 0; i < 40; ++i) {
            probe::g_keep[i] = new char[10];
        }
    } else if (mode == "exit3") {
        probe::leakBytes();
        return 3;
    }
    return 0;
}
