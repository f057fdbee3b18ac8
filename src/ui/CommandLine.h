#pragma once
// The desktop program's command line and its start-up texts: what is asked for, the help and
// the version, and the translations of the language of the process (base/Language.h): the
// windows' texts are Japanese in the source, English from src/ui/translations/tessival_en.ts
// (compiled into the program). Nothing here needs a display.

#include "base/Language.h"

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

// "tessival --help" in the language of the process (ends with a line break).
QString HelpText();
// "tessival " and the version, and a line break.
QString VersionText();

// Installs the translations of Language into the application: in Japanese Qt's own (qtbase_ja;
// the program's texts need none), in English the program's (Qt's own are English). False when
// they cannot be loaded.
bool InstallQtTranslations(QCoreApplication& Application, TLanguage Language = InterfaceLanguage());

// Source (marked with QT_TRANSLATE_NOOP in Context) in the language of the process, also
// before the application exists: for the start-up messages and the help.
QString EarlyText(const char* Context, const char* Source);
