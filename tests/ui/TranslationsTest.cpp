// The English translation of the windows, src/ui/translations/tessival_en.ts: every Japanese
// text of src/ui is in it (marked for translation), and every one has a finished English
// translation that keeps its placeholders, its mnemonic and its line breaks. A text added to
// the windows without running scripts/update-translations.sh, or left untranslated, fails here.

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct TMessage {
    QString Context;
    QString Source;
    QStringList Translations;  // one, or the plural forms
    QString Type;              // "unfinished", "vanished", "obsolete"; empty when finished
};

QList<TMessage> ReadCatalogue(const QString& Path)
{
    QList<TMessage> Messages;
    QFile File(Path);
    if (!File.open(QIODevice::ReadOnly))
        return Messages;
    QXmlStreamReader Xml(&File);
    QString Context;
    while (!Xml.atEnd()) {
        Xml.readNext();
        if (!Xml.isStartElement())
            continue;
        if (Xml.name() == QLatin1String("name")) {
            Context = Xml.readElementText();
        } else if (Xml.name() == QLatin1String("message")) {
            TMessage Message{Context, {}, {}, {}};
            while (!(Xml.isEndElement() && Xml.name() == QLatin1String("message")) && !Xml.atEnd()) {
                Xml.readNext();
                if (!Xml.isStartElement())
                    continue;
                if (Xml.name() == QLatin1String("source")) {
                    Message.Source = Xml.readElementText();
                } else if (Xml.name() == QLatin1String("translation")) {
                    Message.Type = Xml.attributes().value(QLatin1String("type")).toString();
                    QString Text;
                    bool Numerus = false;
                    while (!(Xml.isEndElement() && Xml.name() == QLatin1String("translation")) && !Xml.atEnd()) {
                        Xml.readNext();
                        if (Xml.isCharacters())
                            Text += Xml.text();
                        else if (Xml.isStartElement() && Xml.name() == QLatin1String("numerusform")) {
                            Numerus = true;
                            Message.Translations << Xml.readElementText();
                        }
                    }
                    if (!Numerus)
                        Message.Translations << Text;
                }
            }
            Messages << Message;
        }
    }
    if (Xml.hasError())
        Messages.clear();
    return Messages;
}

QString CataloguePath()
{
    return QStringLiteral(TESSIVAL_SOURCE_DIR "/src/ui/translations/tessival_en.ts");
}

bool HasJapanese(const QString& Text)
{
    for (const QChar Character : Text) {
        const char16_t Code = Character.unicode();
        if ((Code >= 0x3000 && Code <= 0x9FFF) || (Code >= 0xFF00 && Code <= 0xFFEF))
            return true;
    }
    return false;
}

// The placeholders of a text ("%1", "%n"), sorted.
QStringList Placeholders(const QString& Text)
{
    QStringList Found;
    static const QRegularExpression Place(QStringLiteral("%[1-9n]"));
    for (auto It = Place.globalMatch(Text); It.hasNext();)
        Found << It.next().captured();
    Found.sort();
    return Found;
}

bool HasMnemonic(QString Text)
{
    return Text.remove(QStringLiteral("&&")).contains(QRegularExpression(QStringLiteral("&\\w")));
}

// The string literals of a C++ source with Japanese in them, comments left out, escapes read.
QStringList JapaneseLiterals(const QString& Source)
{
    QStringList Found;
    for (qsizetype i = 0; i < Source.size();) {
        if (Source.mid(i, 2) == QLatin1String("//")) {
            const qsizetype End = Source.indexOf(QLatin1Char('\n'), i);
            i = End < 0 ? Source.size() : End;
        } else if (Source.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype End = Source.indexOf(QLatin1String("*/"), i + 2);
            i = End < 0 ? Source.size() : End + 2;
        } else if (Source[i] == QLatin1Char('\'')) {
            qsizetype j = i + 1;
            while (j < Source.size() && Source[j] != QLatin1Char('\''))
                j += Source[j] == QLatin1Char('\\') ? 2 : 1;
            i = j + 1;
        } else if (Source[i] == QLatin1Char('"')) {
            QString Text;
            qsizetype j = i + 1;
            while (j < Source.size() && Source[j] != QLatin1Char('"')) {
                if (Source[j] == QLatin1Char('\\') && j + 1 < Source.size()) {
                    const QChar Escaped = Source[j + 1];
                    Text += Escaped == QLatin1Char('n') ? QChar(u'\n') : Escaped == QLatin1Char('t') ? QChar(u'\t') : Escaped;
                    j += 2;
                } else {
                    Text += Source[j++];
                }
            }
            if (HasJapanese(Text))
                Found << Text;
            i = j + 1;
        } else {
            ++i;
        }
    }
    return Found;
}

}  // namespace

class TranslationsTest : public QObject {
    Q_OBJECT

private slots:
    void everyTextHasAFinishedEnglishTranslation();
    void theCatalogueHoldsEveryTextOfTheSources();
    void noJapaneseTextOfTheWindowsEscapesTranslation();
};

void TranslationsTest::everyTextHasAFinishedEnglishTranslation()
{
    const QList<TMessage> Messages = ReadCatalogue(CataloguePath());
    QVERIFY2(Messages.size() > 100, qPrintable(CataloguePath()));
    for (const TMessage& Message : Messages) {
        const QString Where = Message.Context + QStringLiteral(": ") + Message.Source;
        QVERIFY2(Message.Type.isEmpty(), qPrintable(Where + QStringLiteral(" is ") + Message.Type));
        QVERIFY2(!Message.Translations.isEmpty(), qPrintable(Where));
        for (const QString& English : Message.Translations) {
            QVERIFY2(!English.trimmed().isEmpty(), qPrintable(Where + QStringLiteral(": no English")));
            QVERIFY2(!HasJapanese(English), qPrintable(Where + QStringLiteral(": Japanese in \"") + English + '"'));
            QVERIFY2(Placeholders(English) == Placeholders(Message.Source),
                     qPrintable(Where + QStringLiteral(": other placeholders in \"") + English + '"'));
            QVERIFY2(HasMnemonic(English) == HasMnemonic(Message.Source),
                     qPrintable(Where + QStringLiteral(": mnemonic differs in \"") + English + '"'));
            QVERIFY2(English.endsWith(QLatin1Char('\n')) == Message.Source.endsWith(QLatin1Char('\n')),
                     qPrintable(Where + QStringLiteral(": the last line break differs")));
            QVERIFY2(English.startsWith(QLatin1Char('\n')) == Message.Source.startsWith(QLatin1Char('\n')),
                     qPrintable(Where + QStringLiteral(": the first line break differs")));
            QVERIFY2(English.endsWith(QLatin1String("...")) == Message.Source.endsWith(QLatin1String("...")),
                     qPrintable(Where + QStringLiteral(": \"...\" differs")));
        }
        // English has a singular and a plural.
        if (Message.Source.contains(QLatin1String("%n")))
            QCOMPARE(Message.Translations.size(), 2);
    }
}

void TranslationsTest::theCatalogueHoldsEveryTextOfTheSources()
{
    // lupdate as scripts/update-translations.sh runs it, over a copy of the catalogue.
    QTemporaryDir Dir;
    QVERIFY(Dir.isValid());
    const QString Copy = Dir.filePath(QStringLiteral("tessival_en.ts"));
    QVERIFY(QFile::copy(CataloguePath(), Copy));
    QFile::setPermissions(Copy, QFile::ReadOwner | QFile::WriteOwner);
    QProcess Lupdate;
    Lupdate.setWorkingDirectory(QStringLiteral(TESSIVAL_SOURCE_DIR));
    Lupdate.start(QStringLiteral(TESSIVAL_LUPDATE),
                  {QStringLiteral("-silent"), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                   QStringLiteral("none"), QStringLiteral("-source-language"), QStringLiteral("ja_JP"),
                   QStringLiteral("-target-language"), QStringLiteral("en"), QStringLiteral("-I"), QStringLiteral("src"),
                   QStringLiteral("src/ui"), QStringLiteral("-ts"), Copy});
    QVERIFY2(Lupdate.waitForFinished(60000), TESSIVAL_LUPDATE);
    QVERIFY2(Lupdate.exitCode() == 0, Lupdate.readAllStandardError().constData());

    const auto Keys = [](const QList<TMessage>& Messages) {
        QStringList Found;
        for (const TMessage& Message : Messages)
            Found << Message.Context + QStringLiteral(" | ") + Message.Source +
                         (Message.Type.isEmpty() ? QString() : QStringLiteral(" (") + Message.Type + ')');
        return Found;
    };
    const QStringList Committed = Keys(ReadCatalogue(CataloguePath()));
    const QStringList Fresh = Keys(ReadCatalogue(Copy));
    for (const QString& Key : Fresh)
        QVERIFY2(Committed.contains(Key),
                 qPrintable(Key + QStringLiteral(": not in the catalogue; run scripts/update-translations.sh and translate it")));
    for (const QString& Key : Committed)
        QVERIFY2(Fresh.contains(Key),
                 qPrintable(Key + QStringLiteral(": no longer in the sources; run scripts/update-translations.sh")));
}

void TranslationsTest::noJapaneseTextOfTheWindowsEscapesTranslation()
{
    QSet<QString> Sources;
    for (const TMessage& Message : ReadCatalogue(CataloguePath()))
        Sources << Message.Source;
    int Literals = 0;
    QDirIterator Files(QStringLiteral(TESSIVAL_SOURCE_DIR "/src/ui"), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                       QDir::Files);
    while (Files.hasNext()) {
        const QString Path = Files.next();
        QFile File(Path);
        QVERIFY(File.open(QIODevice::ReadOnly));
        for (const QString& Literal : JapaneseLiterals(QString::fromUtf8(File.readAll()))) {
            ++Literals;
            // A piece of a text written over several lines is part of one source.
            bool Found = false;
            for (const QString& Source : Sources)
                Found = Found || Source.contains(Literal);
            QVERIFY2(Found, qPrintable(Path + QStringLiteral(": \"") + Literal +
                                       QStringLiteral("\" is shown without translation (use tr())")));
        }
    }
    QVERIFY(Literals > 100);
}

QTEST_GUILESS_MAIN(TranslationsTest)
#include "TranslationsTest.moc"
