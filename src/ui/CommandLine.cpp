#include "ui/CommandLine.h"

#include "ui/FileList.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>

TCommandLine ParseCommandLine(const QStringList& Arguments)
{
    TCommandLine Line;
    bool OptionsOver = false;
    for (const QString& Argument : Arguments) {
        if (OptionsOver || !Argument.startsWith(QLatin1Char('-')) || Argument == QLatin1String("-")) {
            Line.Names << Argument;
        } else if (Argument == QLatin1String("--")) {
            OptionsOver = true;
        } else if (Argument == QLatin1String("--help") || Argument == QLatin1String("-h")) {
            Line.Help = true;
        } else if (Argument == QLatin1String("--version") || Argument == QLatin1String("-v")) {
            Line.Version = true;
        } else if (Line.Error.isEmpty()) {
            Line.Error = EarlyText("TCommandLine",
                                   QT_TRANSLATE_NOOP("TCommandLine", "tessival: 知らないオプションです: %1\n"
                                                                     "使い方は tessival --help で表示されます。\n"))
                             .arg(Argument);
        }
    }
    return Line;
}

bool AsksForTextOnly(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        for (const char* Option : {"--help", "-h", "--version", "-v"}) {
            if (std::strcmp(argv[i], Option) == 0)
                return true;
        }
    }
    return false;
}

QString HelpText()
{
    QStringList Photos;
    for (const QString& Extension : FileListRules::ListedExtensions())
        if (FileListRules::IsPhoto(Extension))
            Photos.append(Extension);
    return EarlyText("TCommandLine", QT_TRANSLATE_NOOP("TCommandLine",
        "使い方: tessival [オプション] [ファイル… | フォルダ…]\n"
        "ウェブサイトの色（HTML・CSS・SVG の色、画像の画素）をまるごと塗り替えます。\n"
        "\n"
        "ファイルやフォルダを指定すると、ファイルのリストに追加して開きます。\n"
        "フォルダは「フォルダを追加」と同じように検索します（%1）。\n"
        "写真（%2）はチェックをはずしてリストに入れます。\n"
        "\n"
        "オプション:\n"
        "  -h, --help     この説明を表示して終わります\n"
        "  -v, --version  バージョンを表示して終わります\n"
        "  --             これより後ろはすべてファイルかフォルダの名前として扱います\n"
        "\n"
        "画面を使わずに変換するには tessival-batch を使ってください。\n"))
        .arg(FileListRules::ListedExtensions().join(QLatin1Char(' ')), Photos.join(QLatin1Char(' ')));
}

QString VersionText()
{
    return QStringLiteral("tessival " TESSIVAL_VERSION "\n");
}

namespace {

const QString EnglishCatalogue = QStringLiteral(":/i18n/tessival_en.qm");

}  // namespace

QString EarlyText(const char* Context, const char* Source)
{
    // Loaded once, never freed: it may be asked for before the application exists and after
    // it is gone.
    static const QTranslator* const English = []() -> QTranslator* {
        if (InterfaceLanguage() != TLanguage::English)
            return nullptr;
        auto* Translator = new QTranslator;
        if (Translator->load(EnglishCatalogue))
            return Translator;
        delete Translator;
        return nullptr;
    }();
    if (English) {
        const QString Text = English->translate(Context, Source);
        if (!Text.isEmpty())
            return Text;
    }
    return QString::fromUtf8(Source);
}

bool InstallQtTranslations(QCoreApplication& Application, TLanguage Language)
{
    if (Language == TLanguage::English) {
        // The windows' own texts in English; Qt's dialogs speak English without a translation.
        auto* Translator = new QTranslator(&Application);
        if (!Translator->load(EnglishCatalogue)) {
            delete Translator;
            return false;
        }
        return QCoreApplication::installTranslator(Translator);
    }
    auto* Translator = new QTranslator(&Application);
    // The windows' texts are Japanese in the source, and so are Qt's dialogs.
    if (!Translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete Translator;
        return false;
    }
    return QCoreApplication::installTranslator(Translator);
}
