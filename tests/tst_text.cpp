// Orders and text rules that the program applies to names and messages, and
// the README's word for the file the program writes.
#include "db/Exception.h"
#include "db/Names.h"
#include "db/Query.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/FormStyle.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

class TestText : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void nameOrder_data();
    void nameOrder();
    void upperCaseOnlyAsciiLetters();
    void fullStopRule_data();
    void fullStopRule();
    void parameterNames_data();
    void parameterNames();
    void namesInStatements_data();
    void namesInStatements();
    void readmeNamesTheWindowSettingsFile();
};

void TestText::nameOrder_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("below");
    QTest::newRow("prefix is below") << "B"
                                     << "BOB" << true;
    QTest::newRow("longer is not below prefix") << "BOB"
                                                << "B" << false;
    QTest::newRow("equal is not below") << "BOB"
                                        << "BOB" << false;
    QTest::newRow("upper below lower") << "Z"
                                       << "a" << true;
    QTest::newRow("lower above upper") << "alice"
                                       << "Z" << false;
    QTest::newRow("blank below letters") << "A B"
                                         << "AB" << true;
    QTest::newRow("trailing blank counts") << "FRED"
                                           << "FRED " << true;
    QTest::newRow("empty below anything") << ""
                                          << "A" << true;
    QTest::newRow("nothing below empty") << "A"
                                         << "" << false;
    QTest::newRow("digits below letters") << "9"
                                          << "A" << true;
    QTest::newRow("latin-1 above ascii") << QString::fromUtf8("\u00C9") << "z" << false;
    // As UTF-8 bytes U+FF21 (EF BC A1) sorts below U+1F600 (F0 9F 98 80),
    // though its UTF-16 unit is above the surrogate D83D.
    QTest::newRow("bmp below astral")
        << QString::fromUtf8("\uFF21") << QString::fromUtf8("\U0001F600") << true;
}

void TestText::nameOrder()
{
    QFETCH(QString, name);
    QFETCH(QString, other);
    QFETCH(bool, below);
    QCOMPARE(db::isNameBelow(name, other), below);
}

void TestText::upperCaseOnlyAsciiLetters()
{
    QCOMPARE(ui::upperCaseAscii(QStringLiteral("fred smith-1_z")),
             QStringLiteral("FRED SMITH-1_Z"));
    QCOMPARE(ui::upperCaseAscii(QString::fromUtf8("j\u00F6rg \u00DF")),
             QString::fromUtf8("J\u00F6RG \u00DF"));
}

void TestText::fullStopRule_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Table T does not exist"
                            << "Table T does not exist.";
    QTest::newRow("full stop") << "Done."
                               << "Done.";
    QTest::newRow("digit sorts above") << "error 42"
                                       << "error 42.";
    QTest::newRow("blank sorts below") << "ends in blank "
                                       << "ends in blank ";
    QTest::newRow("comma sorts below") << "a,"
                                       << "a,";
    QTest::newRow("closing bracket sorts below") << "(x)"
                                                 << "(x)";
    QTest::newRow("question mark sorts above") << "why?"
                                               << "why?.";
    QTest::newRow("empty") << ""
                           << "";
}

void TestText::fullStopRule()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    const auto failure = std::make_exception_ptr(kelvane::EngineError(message));
    QCOMPARE(ui::Application::messageText(failure), shown);
}

void TestText::parameterNames_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("one") << "SELECT A FROM T\nWHERE U = :User" << QStringList{"User"};
    QTest::newRow("two in order") << "WHERE A = :Table AND B = :X_1" << QStringList{"Table", "X_1"};
    QTest::newRow("quoted colon") << "WHERE A = ':no' AND B = \"x:y\"" << QStringList{};
    QTest::newRow("comment") << "SELECT 1 -- :no\nFROM T WHERE A = :yes" << QStringList{"yes"};
    QTest::newRow("none") << "GRANT SELECT ON T TO U" << QStringList{};
}

void TestText::parameterNames()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, names);
    QCOMPARE(db::parameterNames(statement), names);
}

void TestText::namesInStatements_data()
{
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sql");
    // Read from the catalogue: the exact stored name.
    QTest::newRow("plain") << false << "CUSTOMER"
                           << "CUSTOMER";
    QTest::newRow("digits, _ and $") << false << "RDB$USER_2"
                                     << "RDB$USER_2";
    QTest::newRow("lower case") << false << "fred"
                                << "\"fred\"";
    QTest::newRow("mixed case") << false << "mixed Case"
                                << "\"mixed Case\"";
    QTest::newRow("starts with a digit") << false << "1ST"
                                         << "\"1ST\"";
    QTest::newRow("starts with _") << false << "_X"
                                   << "\"_X\"";
    QTest::newRow("reserved word") << false << "ORDER"
                                   << "\"ORDER\"";
    QTest::newRow("reserved by later servers") << false << "WINDOW"
                                               << "\"WINDOW\"";
    QTest::newRow("more SQL") << false << "ACCOUNTS TO PUBLIC --"
                              << "\"ACCOUNTS TO PUBLIC --\"";
    QTest::newRow("double quotes") << false << "A\"B"
                                   << "\"A\"\"B\"";
    QTest::newRow("non-ASCII letter") << false << "\u00C4RGER"
                                      << "\"\u00C4RGER\"";
    QTest::newRow("empty") << false << ""
                           << "\"\"";
    // Typed: an identifier as written in SQL.
    QTest::newRow("typed plain") << true << "fred"
                                 << "fred";
    QTest::newRow("typed mixed case") << true << "Fred_2"
                                      << "Fred_2";
    QTest::newRow("typed reserved word") << true << "order"
                                         << "\"ORDER\"";
    QTest::newRow("typed with a blank") << true << "Anna Lee"
                                        << "\"Anna Lee\"";
    QTest::newRow("typed quote") << true << "x\"; DROP"
                                 << "\"x\"\"; DROP\"";
    QTest::newRow("typed non-ASCII") << true << "j\u00F6rg"
                                     << "\"j\u00F6rg\"";
    QTest::newRow("typed trailing blanks dropped") << true << " x  "
                                                   << "\" x\"";
    QTest::newRow("typed blanks alone are the empty name") << true << "   "
                                                           << "\"\"";
}

void TestText::namesInStatements()
{
    QFETCH(bool, typed);
    QFETCH(QString, name);
    QFETCH(QString, sql);
    const db::SqlName sqlName = typed ? db::SqlName::typed(name) : db::SqlName::stored(name);
    QCOMPARE(sqlName.sql(), sql);
    QCOMPARE(sqlName.text(), name);
}

void TestText::readmeNamesTheWindowSettingsFile()
{
    // An administrator looking for the remembered window size must find the
    // file the program writes, not one it never does.
    QFile readme(QStringLiteral(KELVANE_README));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch named =
        QRegularExpression(QStringLiteral("last\\s+size\\s+is\\s+kept\\s+in\\s+`([^`]+)`"))
            .match(QString::fromUtf8(readme.readAll()));
    QVERIFY(named.hasMatch());
    QCOMPARE(named.captured(1), QFileInfo(ui::windowSettingsFile()).fileName());
}

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
