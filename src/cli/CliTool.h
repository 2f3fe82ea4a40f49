#pragma once
// brisvel-cli: tables, structure and dump of any table the program opens.
#include <QStringList>

#include <cstdio>

namespace cli {

// Runs one command line (without the program name); returns the exit status.
// Output goes to out, German error messages to err.
int run(const QStringList &arguments, FILE *out, FILE *err);

// True for the print command, which draws text and so needs a GUI
// application (on the offscreen platform: no display is needed).
bool needsGuiApplication(const QStringList &arguments);

// One CSV field as RFC 4180 writes it: quoted where it holds a comma, quote or line break.
QString csvField(const QString &text);

} // namespace cli
