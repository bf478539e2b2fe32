// The blocks a leak report leaves out: what the C library, Qt and the libraries under them allocate
// once per process and keep until it ends (a locale, the stdio buffers, a loaded plugin, the font
// database, a thread's own data). Listed here so that a leak of the program's own code stands out
// in the report instead of hiding among a few hundred of them.
//
// A block is left out when a routine of its allocation call stack holds a listed name, or a frame
// of it lies in a listed module; an entry with a depth looks only that many frames up from the
// allocation (a routine that allocates for itself, but also runs the program's code below it).
// Every entry says why its blocks are one-time. The entries
// come from the reports of tracked programs run with QV_LEAKCHECK_SUPPRESS=0, which turns the list
// off: the leak checker's Qt test program; quorvellant of the leakcheck build started (offscreen, and
// on an X server with a session bus) and ended with /EXITNOW from a second start; its qv-run copying
// a tree and compressing it; its qv-zip adding and extracting.
#pragma once

#include <string>

namespace qv::leakcheck::tracking {

struct Suppression {
    enum Kind { Routine, Module } kind;
    const char *name; // part of the demangled routine, or the start of the module's file name
    int depth;        // frames looked at from the allocation; 0: all
    const char *why;
};

// The list, ended by an entry without a name.
const Suppression *suppressions();

// True when frame `index` (0: the allocating routine) with this routine and module makes its
// block one-time.
bool isSuppressedFrame(int index, const std::string &routine, const std::string &module);

// False when QV_LEAKCHECK_SUPPRESS=0 asks for every block.
bool suppressionsEnabled();

} // namespace qv::leakcheck::tracking
