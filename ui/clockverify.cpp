#include "clockverify.h"

#include <QKeyEvent>
#include <QDate>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <algorithm>

#include "formutil.h"

TClockVerifyForm::TClockVerifyForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ClockVerifyForm"));
    setWindowTitle(QStringLiteral("Проверка часов"));
    SetDialogFrame(this);
    setFixedSize(198, 135);
    setFont(PixelFont(QStringLiteral("Arial"), 13));

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Проверьте время!"), 12, 8, 174, 22);
    Label1->setFont(PixelFont(QStringLiteral("Arial"), 19, true));
    Label1->resize(std::max(174, Label1->sizeHint().width()), 22);
    QPalette p = Label1->palette();
    p.setColor(QPalette::WindowText, QColor(0x80, 0, 0));  // maroon
    Label1->setPalette(p);

    clockDisplay = MakeLabel(this, "clockDisplay", QStringLiteral("88:88:88"), 66, 36, 66, 19);
    clockDisplay->setFont(PixelFont(QStringLiteral("Arial"), 16, true));
    // The date too: a PC a day off shows the right time of day and would stamp the wrong date.
    dateDisplay = MakeLabel(this, "dateDisplay", QStringLiteral("88.88.8888"), 12, 56, 174, 17);
    dateDisplay->setFont(PixelFont(QStringLiteral("Arial"), 14, true));
    dateDisplay->setAlignment(Qt::AlignCenter);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("Это правильное время?"), 27, 78, 143, 16);

    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("&Да"), 18, 102, 75, 25, QStyle::SP_DialogOkButton);
    BitBtn2 = MakeButton(this, "BitBtn2", QStringLiteral("&Нет"), 106, 102, 75, 25, QStyle::SP_DialogCancelButton);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(BitBtn1, BitBtn2);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &TClockVerifyForm::Timer1Timer);
}

QString TClockVerifyForm::TimeSeparator()
{
    // The first character of the regional time format that is not a field letter.
    const QString f = QLocale::system().timeFormat(QLocale::ShortFormat);
    for (const QChar c : f)
        if (!c.isLetter() && !c.isSpace() && c != u'\'')
            return QString(c);
    return QStringLiteral(":");
}

QString TClockVerifyForm::FormatTime(const QTime& t)
{
    const QString sep = TimeSeparator();
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(t.hour()) + sep + two(t.minute()) + sep + two(t.second());
}

void TClockVerifyForm::Timer1Timer()
{
    clockDisplay->setText(FormatTime(Clock()));
    dateDisplay->setText(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy")));
}

void TClockVerifyForm::showEvent(QShowEvent* e)
{
    Timer1->start();
    Timer1Timer();  // the time is there from the first moment
    CenterOnScreen(this);
    QDialog::showEvent(e);
    BitBtn1->setFocus();  // every check starts on "Да", whatever was focused last time
}

void TClockVerifyForm::hideEvent(QHideEvent* e)
{
    Timer1->stop();
    QDialog::hideEvent(e);
}

void TClockVerifyForm::keyPressEvent(QKeyEvent* e)
{
    // The accelerators work without Alt too, as on a dialog whose controls are all buttons.
    const QString t = e->text().toLower();
    if (!(e->modifiers() & (Qt::ControlModifier)) && t == QStringLiteral("д")) {
        BitBtn1->click();
        return;
    }
    if (!(e->modifiers() & (Qt::ControlModifier)) && t == QStringLiteral("н")) {
        BitBtn2->click();
        return;
    }
    QDialog::keyPressEvent(e);
}
