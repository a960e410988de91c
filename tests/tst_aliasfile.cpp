// The alias file as people write it: missing, empty, unreadable, malformed,
// odd names, a group named General, thousands of aliases.
#include "TestServer.h"
#include "app/Forms.h"
#include "app/PrivEdit.h"
#include "db/Database.h"
#include "db/Exception.h"
#include "db/Session.h"
#include "ui/Application.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using testserver::AliasFile;
using testui::failureOf;

namespace {

QStringList offered()
{
    QStringList items;
    for (int i = 0; i < KelvaneForm->DBCombo->count(); ++i)
        items << KelvaneForm->DBCombo->itemText(i);
    return items;
}

} // namespace

class TestAliasFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void syntax_data();
    void syntax();
    void missingFileHasNoAliases();
    void unreadableFileIsReported();
    void changedFileIsReadAgain();
    void generalAndNonAsciiAliasesAreOffered();
    void thousandsOfAliasesInTheFilesOrder();
};

void TestAliasFile::initTestCase()
{
    ui::Application::setTitle(QStringLiteral("Kelvane"));
}

void TestAliasFile::cleanup()
{
    QVERIFY(testui::allAnswered());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY2(!widget->isVisible(), qPrintable(widget->objectName()));
}

void TestAliasFile::syntax_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QStringList>("names"); // in the order read; unused on failure
    QTest::addColumn<QString>("database");  // of the first alias
    QTest::addColumn<QString>("failure");   // what the message ends with; empty: none

    const QString invalid = QStringLiteral("is not a valid INI file");
    const QStringList none;
    QTest::newRow("empty") << QByteArray() << none << QString() << QString();
    QTest::newRow("blank lines and comments")
        << QByteArray("\n  \n; a comment\n# another\n") << none << QString() << QString();
    QTest::newRow("General is an alias like any other")
        << QByteArray("[General]\nDriver=INTRBASE\nDatabase=g.fdb\n[B]\nDriver=INTRBASE\n")
        << QStringList{"General", "B"} << "g.fdb" << QString();
    QTest::newRow("the file's order, not sorted")
        << QByteArray("[Zeta]\nDatabase=z\n[alpha]\n[Alpha]\n[1]\n")
        << QStringList{"Zeta", "alpha", "Alpha", "1"} << "z" << QString();
    QTest::newRow("names kept as written")
        << QByteArray("[a%20b\\c/d]\nDatabase=x\n[ two words ]\n[x=y;z]\n")
        << QStringList{"a%20b\\c/d", " two words ", "x=y;z"} << "x" << QString();
    QTest::newRow("non-ASCII letters")
        << QByteArray(
               "[Caf\xc3\xa9 M\xc3\xbcller]\nDatabase=\xc3\xa9.fdb\n[\xe6\x95\xb0\xe6\x8d\xae]\n")
        << QStringList{QStringLiteral("Café Müller"), QStringLiteral("数据")}
        << QStringLiteral("é.fdb") << QString();
    QTest::newRow("a group given twice goes on where it was")
        << QByteArray("[A]\nDriver=X\n[B]\n[A]\nDatabase=a\n") << QStringList{"A", "B"} << "a"
        << QString();
    QTest::newRow("keys and values trimmed, the later key wins")
        << QByteArray("[A]\n  Database  =  first \nDatabase = second \n") << QStringList{"A"}
        << "second" << QString();
    QTest::newRow("quoted value keeps its blanks")
        << QByteArray("[A]\nDatabase=\"  x \\\"y\\\" \"\n") << QStringList{"A"} << "  x \"y\" "
        << QString();
    QTest::newRow("semicolon, hash and equals inside a value")
        << QByteArray("[A]\nDatabase=localhost/3050:/d/a;b#c=d.fdb\n") << QStringList{"A"}
        << "localhost/3050:/d/a;b#c=d.fdb" << QString();
    QTest::newRow("Windows line ends") << QByteArray("[A]\r\nDatabase=w\r\n\r\n[B]\r\n")
                                       << QStringList{"A", "B"} << "w" << QString();
    QTest::newRow("an alias without Database=")
        << QByteArray("[A]\nDriver=INTRBASE\n") << QStringList{"A"} << QString() << QString();
    QTest::newRow("unclosed bracket")
        << QByteArray("[DEMO\nDriver=INTRBASE\n") << none << QString() << invalid;
    QTest::newRow("text after the bracket")
        << QByteArray("[DEMO] x\nDriver=INTRBASE\n") << none << QString() << invalid;
    QTest::newRow("empty group name") << QByteArray("[]\n") << none << QString() << invalid;
    QTest::newRow("key before any group")
        << QByteArray("Driver=INTRBASE\n[A]\n") << none << QString() << invalid;
    QTest::newRow("line without an equals sign")
        << QByteArray("[A]\nDriver INTRBASE\n") << none << QString() << invalid;
    QTest::newRow("empty key") << QByteArray("[A]\n=x\n") << none << QString() << invalid;
    QTest::newRow("not UTF-8") << QByteArray("[Caf\xe9]\n") << none << QString() << invalid;
    QTest::newRow("binary") << QByteArray("\x7f"
                                          "ELF\x02\x01\x01\x00\x00",
                                          9)
                            << none << QString() << invalid;
}

void TestAliasFile::syntax()
{
    QFETCH(QByteArray, text);
    QFETCH(QStringList, names);
    QFETCH(QString, database);
    QFETCH(QString, failure);
    AliasFile file({});
    file.writeRaw(text);
    if (!failure.isEmpty()) {
        const QString message = failureOf([] { (void)db::TSession::aliasNames(); });
        QCOMPARE(message, QStringLiteral("The alias file %1 %2").arg(file.path(), failure));
        return;
    }
    QCOMPARE(db::TSession::aliasNames(), names);
    if (!names.isEmpty())
        QCOMPARE(db::TSession::aliasDatabase(names.first()), database);
    for (const QString &name : std::as_const(names))
        QCOMPARE(failureOf([&] { (void)db::TSession::aliasDriverName(name); }),
                 QStringLiteral("<no failure>"));
    QCOMPARE(failureOf([] { (void)db::TSession::aliasDriverName(QStringLiteral("NONE")); }),
             QStringLiteral("Invalid alias name NONE"));
}

void TestAliasFile::missingFileHasNoAliases()
{
    AliasFile file({});
    QFile::remove(file.path());
    QCOMPARE(db::TSession::aliasNames(), QStringList());
    QCOMPARE(failureOf([] { (void)db::TSession::aliasDriverName(QStringLiteral("A")); }),
             QStringLiteral("Invalid alias name A"));
}

void TestAliasFile::unreadableFileIsReported()
{
    // The tests run as root, whom no file mode keeps out: a folder in the
    // file's place cannot be read as a file by anyone.
    AliasFile file({});
    QFile::remove(file.path());
    QVERIFY(QDir().mkdir(file.path()));
    const QString message = QStringLiteral("Cannot read the alias file %1").arg(file.path());
    QCOMPARE(failureOf([] { (void)db::TSession::aliasNames(); }), message);
    QCOMPARE(failureOf([] { (void)db::TSession::aliasDriverName(QStringLiteral("A")); }), message);
}

void TestAliasFile::changedFileIsReadAgain()
{
    AliasFile file({{QStringLiteral("A"), QStringLiteral("INTRBASE"), QStringLiteral("one")}});
    QCOMPARE(db::TSession::aliasDatabase(QStringLiteral("A")), QStringLiteral("one"));
    file.writeRaw("[A]\nDriver=INTRBASE\nDatabase=second\n");
    QCOMPARE(db::TSession::aliasDatabase(QStringLiteral("A")), QStringLiteral("second"));
    file.writeRaw("[B]\nDriver=INTRBASE\n");
    QCOMPARE(failureOf([] { (void)db::TSession::aliasDriverName(QStringLiteral("A")); }),
             QStringLiteral("Invalid alias name A"));
}

void TestAliasFile::generalAndNonAsciiAliasesAreOffered()
{
    AliasFile file({{QStringLiteral("Zürich"), QStringLiteral("INTRBASE"), QStringLiteral("z")},
                    {QStringLiteral("General"), QStringLiteral("INTRBASE"), QStringLiteral("g")},
                    {QStringLiteral("Other"), QStringLiteral("STANDARD"), QStringLiteral("o")},
                    {QStringLiteral("Ångström"), QStringLiteral("INTRBASE"), QStringLiteral("a")}});
    Forms forms;
    KelvaneForm->show();
    QCOMPARE(offered(), (QStringList{"Zürich", "General", "Ångström"}));
    QCOMPARE(KelvaneForm->DBCombo->currentIndex(), -1);
    KelvaneForm->close();
}

void TestAliasFile::thousandsOfAliasesInTheFilesOrder()
{
    // Descending names, every third of another driver: the list keeps the
    // file's order and drops exactly those.
    constexpr int Count = 5000;
    QList<AliasFile::Alias> aliases;
    QStringList expected;
    for (int i = Count; i > 0; --i) {
        const QString name = QStringLiteral("ALIAS_%1").arg(i, 5, 10, QLatin1Char('0'));
        const bool interBase = i % 3 != 0;
        aliases.append({name, interBase ? QStringLiteral("INTRBASE") : QStringLiteral("STANDARD"),
                        QStringLiteral("localhost/1:/nowhere/%1.fdb").arg(i)});
        if (interBase)
            expected.append(name);
    }
    AliasFile file(aliases);
    Forms forms;
    QElapsedTimer timer;
    timer.start();
    KelvaneForm->show();
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(offered(), expected);
    // One read of the file for the list and one for the drivers, not one per
    // alias.
    QVERIFY2(elapsed < 5000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    KelvaneForm->close();
}

QTEST_MAIN(TestAliasFile)
#include "tst_aliasfile.moc"
