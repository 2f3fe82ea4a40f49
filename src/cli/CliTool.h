#pragma once
// brisvel-cli: tables, structure and dump of any table the program opens.
#include "CliPrint.h"

#include <QStringList>

#include <cstdio>

namespace cli {

// Runs one command line (without the program name); returns the exit status.
// Output goes to out, German error messages to err. The print command needs a
// printer (only brisvel-print has one).
int run(const QStringList &arguments, FILE *out, FILE *err, const Printer &printer = {});

// True for a valid print command line, which brisvel-cli hands to brisvel-print.
bool isPrintCommand(const QStringList &arguments);

// One CSV field as RFC 4180 writes it: quoted where it holds a comma, quote or line break.
QString csvField(const QString &text);

} // namespace cli
