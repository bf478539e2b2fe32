// Quorvellant's entry point.
#include "ui/ProgramEntry.h"

#include <QtPlugin>

// Our GIF writer, as Qt's image plugin for writing "gif" (Qt's own plugin keeps reading).
Q_IMPORT_PLUGIN(QvGifWriterPlugin)

int main(int argc, char **argv)
{
    return qv::runProgram(argc, argv);
}
