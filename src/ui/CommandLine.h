#pragma once
// The desktop program's command line and its start-up texts: what is asked for, the help and
// the version, and Qt's own texts in Japanese. Nothing here needs a display.

#include <QString>
#include <QStringList>

class QCoreApplication;

struct TCommandLine {
    bool Help = false;
    bool Version = false;
    QStringList Names;  // files and folders to list, in order
    QString Error;      // an option the program does not know; empty when all is well
};

// Reads the arguments after the program name. Options Qt takes for itself ("-platform X",
// "-display X", "-style X", ...) must have been taken out already; "--" ends the options.
TCommandLine ParseCommandLine(const QStringList& Arguments);

// Whether the arguments ask only for help or the version: answered before any display.
bool AsksForTextOnly(int argc, char* argv[]);

// "tessival --help" (Japanese, ends with a line break).
QString HelpText();
// "tessival " and the version, and a line break.
QString VersionText();

// Loads Qt's own Japanese translations (qtbase_ja) into the application; false when they are
// not installed.
bool InstallQtTranslations(QCoreApplication& Application);
