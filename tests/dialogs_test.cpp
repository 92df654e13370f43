#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

#include "abort.h"
#include "custdlg.h"
#include "guard.h"
#include "kestdrv.h"
#include "msgs.h"
#include "qt_helpers.h"

using namespace Qt::StringLiterals;

namespace {

struct Metrics {
    int AW, AH, MarginX, MarginY, GapX, GapY, ButtonWidth, ButtonHeight, ButtonGap;
};

Metrics Expected(const QFont& font)
{
    const QFontMetrics fm(font);
    Metrics m{};
    m.AW = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52;
    m.AH = fm.height();
    m.MarginX = MulDiv(8, m.AW, 4);
    m.MarginY = MulDiv(8, m.AH, 8);
    m.GapX = MulDiv(10, m.AW, 4);
    m.GapY = MulDiv(10, m.AH, 8);
    m.ButtonWidth = MulDiv(50, m.AW, 4);
    m.ButtonHeight = MulDiv(14, m.AH, 8);
    m.ButtonGap = MulDiv(4, m.AW, 4);
    return m;
}

QWidget* Child(QWidget* w, const char* name) { return w->findChild<QWidget*>(QString::fromLatin1(name)); }

}  // namespace

TEST(MessageTidy, TrimAndFullStop)
{
    EXPECT_EQ(TidyMessage(QStringLiteral("Счетчики установлены")), QStringLiteral("Счетчики установлены."));
    EXPECT_EQ(TidyMessage(QStringLiteral(" \t\r\nНе выбран тип входного сигнала!\n ")),
              QStringLiteral("Не выбран тип входного сигнала!"));
    EXPECT_EQ(TidyMessage(QStringLiteral("Выйти?")), QStringLiteral("Выйти?"));
    EXPECT_EQ(TidyMessage(QStringLiteral("Ждите...")), QStringLiteral("Ждите..."));
    EXPECT_EQ(TidyMessage(QStringLiteral("Итог:")), QStringLiteral("Итог:."));
    EXPECT_EQ(TidyMessage(QStringLiteral("(1-5 мс)")), QStringLiteral("(1-5 мс)."));
    EXPECT_EQ(TidyMessage(QStringLiteral("   \n\t ")), QString());
}

TEST(MessageTidy, MulDivRoundsHalvesAwayFromZero)
{
    EXPECT_EQ(MulDiv(8, 7, 4), 14);
    EXPECT_EQ(MulDiv(10, 7, 4), 18);  // 17.5
    EXPECT_EQ(MulDiv(10, 5, 4), 13);  // 12.5
    EXPECT_EQ(MulDiv(-10, 5, 4), -13);
    EXPECT_EQ(MulDiv(14, 13, 8), 23);  // 22.75
}

TEST(CustomDlg, DescriptorErrorsBeforeAnyWindow)
{
    const int before = QApplication::topLevelWidgets().size();
    auto message = [](auto f) {
        try {
            f();
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("<none>");
    };
    EXPECT_EQ(message([] {
                  CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, ButtonsDescriptor::Array({QStringLiteral("a")}, 1), 0,
                            false, NoColor, nullptr);
              }),
              "Invalid buttons descriptor in CustomDlg");
    EXPECT_EQ(message([] {
                  CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, ButtonsDescriptor::Scalar(QStringLiteral("a")), 0, false,
                            NoColor, nullptr);
              }),
              "Invalid buttons descriptor in CustomDlg");
    EXPECT_EQ(message([] {
                  MessageDlgEx(DialogType::Plain, u"m"_s, u"c"_s, {QStringLiteral("a"), 5}, 0, NoColor, nullptr);
              }),
              "Invalid button caption (not a string)");
    EXPECT_EQ(QApplication::topLevelWidgets().size(), before);
}

TEST(CustomDlg, LayoutWithIconAndWithout)
{
    const Metrics m = Expected(DefaultDlgFont());
    for (DialogType t : {DialogType::Information, DialogType::Plain}) {
        int result = -1;
        OnNextModal([&](QWidget* w) {
            const QFontMetrics fm(DefaultDlgFont());
            const QRect text = fm.boundingRect(QRect(0, 0, QGuiApplication::primaryScreen()->geometry().width() / 2, 0),
                                               Qt::TextWordWrap | Qt::TextExpandTabs, QStringLiteral("Коротко."));
            const bool icon = t != DialogType::Plain;
            const int bodyH = icon ? std::max(32, text.height()) : text.height();
            EXPECT_EQ(Child(w, "Image") != nullptr, icon);
            QWidget* msg = Child(w, "Message");
            ASSERT_NE(msg, nullptr);
            EXPECT_EQ(msg->x(), m.MarginX + (icon ? 32 + m.GapX : 0));
            EXPECT_EQ(msg->y(), m.MarginY);
            QWidget* b = Child(w, "btn0");
            ASSERT_NE(b, nullptr);
            EXPECT_EQ(b->y(), bodyH + m.MarginY + m.GapY);
            EXPECT_EQ(b->height(), m.ButtonHeight);
            EXPECT_EQ(w->height(), bodyH + m.ButtonHeight + m.GapY + 2 * m.MarginY);
            const int rowW = 2 * m.ButtonWidth + m.ButtonGap;
            EXPECT_EQ(b->x(), (w->width() - rowW) / 2);
            EXPECT_EQ(Child(w, "btn1")->x(), b->x() + m.ButtonWidth + m.ButtonGap);
            // Centred on the screen by the outer size.
            const QRect s = QGuiApplication::primaryScreen()->geometry();
            EXPECT_EQ(w->frameGeometry().left(), s.width() / 2 - w->frameGeometry().width() / 2);
            EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);
            static_cast<QPushButton*>(Child(w, "btn1"))->click();
        });
        result = MessageDlgEx(t, QStringLiteral("Коротко."), QStringLiteral("Т"),
                              {QStringLiteral("Да"), QStringLiteral("Нет")}, 0, NoColor, nullptr);
        EXPECT_EQ(result, 2);
    }
}

TEST(CustomDlg, LongMessageWrapsAndWideCaptionWidensEveryButton)
{
    const Metrics m = Expected(DefaultDlgFont());
    const int half = QGuiApplication::primaryScreen()->geometry().width() / 2;
    QString longMsg;
    for (int i = 0; i < 60; ++i)
        longMsg += QStringLiteral("слово ");
    const QString wide = QStringLiteral("Очень длинная надпись на кнопке");
    OnNextModal([&](QWidget* w) {
        QWidget* msg = Child(w, "Message");
        EXPECT_LE(msg->width(), half);
        EXPECT_GT(msg->height(), QFontMetrics(DefaultDlgFont()).height());  // more than one line
        const int wideW = QFontMetrics(DefaultDlgFont()).horizontalAdvance(wide) + 8;
        ASSERT_GT(wideW, m.ButtonWidth);
        EXPECT_EQ(Child(w, "btn0")->width(), wideW);
        EXPECT_EQ(Child(w, "btn1")->width(), wideW);
        static_cast<QPushButton*>(Child(w, "btn0"))->click();
    });
    EXPECT_EQ(MessageDlgEx(DialogType::Warning, longMsg, u"c"_s, {QStringLiteral("OK"), wide}, 0, NoColor, nullptr), 1);
}

TEST(CustomDlg, KeysOfTheStandardBoxes)
{
    // Esc does nothing in a box without a cancel button; Enter presses the focused button.
    OnNextModal([](QWidget* w) {
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        QTest::keyClick(w->focusWidget(), Qt::Key_Return, Qt::ShiftModifier);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->focusWidget()->objectName(), QStringLiteral("btn0"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    });
    EXPECT_TRUE(AskYesNo(QStringLiteral("Вы действительно хотите выйти из программы?"), QStringLiteral("Подтвердите")));

    OnNextModal([](QWidget* w) {
        EXPECT_EQ(BoxText(w), QStringLiteral("Вы действительно хотите выйти из программы?"));
        static_cast<QPushButton*>(Child(w, "btn1"))->click();
    });
    EXPECT_FALSE(
        AskYesNo(QStringLiteral("Вы действительно хотите выйти из программы?"), QStringLiteral("Подтвердите")));

    OnNextModal([](QWidget* w) {
        EXPECT_EQ(w->windowTitle(), QStringLiteral("Информация"));
        EXPECT_EQ(BoxText(w), QStringLiteral("Счетчики установлены."));
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        QTest::keyClick(w->focusWidget(), Qt::Key_Enter);
    });
    ShowInfoMsg(QStringLiteral("Счетчики установлены"), QStringLiteral("Информация"));
}

TEST(CustomDlg, AddCancelAndDefaultButtonOutOfRange)
{
    const auto descriptor = ButtonsDescriptor::Array({QStringLiteral("Один"), 2});
    OnNextModal([](QWidget* w) {
        EXPECT_EQ(static_cast<QPushButton*>(Child(w, "btn1"))->text(), QStringLiteral("2"));
        EXPECT_EQ(static_cast<QPushButton*>(Child(w, "btn2"))->text(), QStringLiteral("Отмена"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
    });
    EXPECT_EQ(CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, descriptor, 0, true, NoColor, nullptr), 0);
    OnNextModal([](QWidget* w) { static_cast<QPushButton*>(Child(w, "btn2"))->click(); });
    EXPECT_EQ(CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, descriptor, 0, true, NoColor, nullptr), 0);
    OnNextModal([](QWidget* w) { static_cast<QPushButton*>(Child(w, "btn1"))->click(); });
    EXPECT_EQ(CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, descriptor, 0, true, NoColor, nullptr), 2);

    // Default pointing at "Отмена": it is the default button, and Esc has no cancel button.
    OnNextModal([](QWidget* w) {
        QTest::keyClick(w->focusWidget(), Qt::Key_Escape);
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->focusWidget()->objectName(), QStringLiteral("btn2"));
        QTest::keyClick(w->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, descriptor, 2, true, NoColor, nullptr), 0);

    for (int def : {-1, 3}) {
        OnNextModal([](QWidget* w) {
            EXPECT_EQ(w->focusWidget()->objectName(), QStringLiteral("btn0"));
            QTest::keyClick(w->focusWidget(), Qt::Key_Return);
        });
        EXPECT_EQ(MessageDlgEx(DialogType::Plain, u"m"_s, u"c"_s,
                               {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}, def, NoColor, nullptr),
                  1);
    }
    // A close by the platform gives 2, and 2 of 2 with AddCancel becomes 0.
    OnNextModal([](QWidget* w) { w->close(); });
    EXPECT_EQ(CustomDlg(DialogType::Plain, u"m"_s, u"c"_s, ButtonsDescriptor::Array({QStringLiteral("a")}), 0, true,
                        NoColor, nullptr),
              0);
}

TEST(Guard, SilentAbortDriverErrorAndCursor)
{
    // A silent abort shows nothing.
    BoxRecorder rec;
    RunGuarded([] {
        TWaitCursor wait;
        throw EAbort();
    });
    EXPECT_TRUE(rec.seen.isEmpty());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // An error box from ErrorAbort, once, then nothing more.
    RunGuarded([] {
        TWaitCursor wait;
        ErrorAbort(QStringLiteral("COM-Порт не открыт"), QStringLiteral("Ошибка"));
    });
    EXPECT_EQ(rec.seen, QStringList{QStringLiteral("Ошибка: COM-Порт не открыт.")});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    // A driver error on the top-level display, with its own "." rule.
    rec.seen.clear();
    // Looked at while the box is up, just before it is answered.
    bool cursorDuringBox = false;
    int boxes = 0;
    rec.answer = [&](QWidget* w) {
        ++boxes;
        cursorDuringBox |= QGuiApplication::overrideCursor() != nullptr;
        PressFirst(w);
    };
    RunGuarded([] {
        TWaitCursor wait;
        throw EDriverError("Драйвер COM-порта: Ошибка открытия СОМ-порта", 259);
    });
    RunGuarded([] { throw EDriverError("Драйвер COM-порта: COM-порт не открыт.", 258); });
    EXPECT_EQ(rec.seen, (QStringList{AppTitle() + QStringLiteral(": Драйвер COM-порта: Ошибка открытия СОМ-порта."),
                                     AppTitle() + QStringLiteral(": Драйвер COM-порта: COM-порт не открыт.")}));
    EXPECT_EQ(boxes, 2);
    EXPECT_FALSE(cursorDuringBox);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(TopLevelText(QStringLiteral("abc,")), QStringLiteral("abc,"));  // "," sorts before "."
}

TEST(CustomDlg, RightToLeftPutsTheMessageRightAndKeepsTheIconAndRow)
{
    const Metrics m = Expected(DefaultDlgFont());
    QApplication::setLayoutDirection(Qt::RightToLeft);
    OnNextModal([&](QWidget* w) {
        QWidget* msg = Child(w, "Message");
        EXPECT_EQ(msg->x(), w->width() - (m.MarginX + 32 + m.GapX) - msg->width());
        EXPECT_EQ(Child(w, "Image")->x(), m.MarginX);
        EXPECT_LT(Child(w, "btn0")->x(), Child(w, "btn1")->x());  // the row is not mirrored
        static_cast<QPushButton*>(Child(w, "btn0"))->click();
    });
    MessageDlgEx(DialogType::Warning, QStringLiteral("Справа налево"), u"c"_s,
                 {QStringLiteral("Да"), QStringLiteral("Нет")}, 0, NoColor, nullptr);
    QApplication::setLayoutDirection(Qt::LeftToRight);
}
