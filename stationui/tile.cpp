#include "tile.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {
struct TLookStyle {
    const char16_t* words;
    const char* background;
    const char* text;
};
// Words first: the colour only repeats them (an operator who tells no red from green reads
// the words, and so does a photograph in grey).
const TLookStyle kLooks[] = {
    {u"ЖДЁТ ПРИБОР", "#e8eef5", "#1d2b3a"},
    {u"ПРИБОР НА МЕСТЕ", "#fff3c4", "#3a2f00"},
    {u"ЗАПИСЬ - НЕ СНИМАТЬ", "#ffd591", "#3a2200"},
    {u"ГОТОВО - СНИМИТЕ", "#b7e4b0", "#0b3300"},
    {u"СБОЙ - СНИМИТЕ И ПРОВЕРЬТЕ", "#f5a3a3", "#4a0000"},
    {u"УЖЕ С НОМЕРОМ - СНИМИТЕ", "#d9c8f0", "#2a0a4a"},
    {u"ПАУЗА", "#cfcfcf", "#202020"},
    {u"СБОЙ - ПОДТВЕРДИТЕ", "#f5a3a3", "#4a0000"},
    {u"ЗАКОНЧЕНО", "#e0e0e0", "#404040"},
};
}  // namespace

TTile::TTile(const QString& fixture, const QString& shown, int index, QWidget* parent)
    : QFrame(parent), fixture_(fixture)
{
    setObjectName(u"Tile%1"_s.arg(index));
    setFrameShape(QFrame::Box);
    setLineWidth(2);
    setAutoFillBackground(true);
    setMinimumSize(300, 220);
    auto* v = new QVBoxLayout(this);
    name_ = new QLabel(shown, this);
    name_->setObjectName(u"Name%1"_s.arg(index));
    name_->setToolTip(fixture);
    QFont f = font();
    f.setPointSize(13);
    f.setBold(true);
    name_->setFont(f);
    state_ = new QLabel(this);
    state_->setObjectName(u"State%1"_s.arg(index));
    f.setPointSize(17);
    state_->setFont(f);
    state_->setWordWrap(true);
    number_ = new QLabel(this);
    number_->setObjectName(u"Number%1"_s.arg(index));
    f.setPointSize(44);
    number_->setFont(f);
    number_->setAlignment(Qt::AlignCenter);
    model_ = new QLabel(this);
    model_->setObjectName(u"Model%1"_s.arg(index));
    f.setPointSize(15);
    model_->setFont(f);
    model_->setAlignment(Qt::AlignCenter);
    message_ = new QLabel(this);
    message_->setObjectName(u"Message%1"_s.arg(index));
    message_->setWordWrap(true);
    time_ = new QLabel(this);
    auto* buttons = new QHBoxLayout;
    pause_ = new QPushButton(u"Пауза"_s, this);
    pause_->setObjectName(u"Pause%1"_s.arg(index));
    ack_ = new QPushButton(u"Проверено, дальше"_s, this);
    ack_->setObjectName(u"Acknowledge%1"_s.arg(index));
    ack_->setVisible(false);
    buttons->addWidget(pause_);
    buttons->addWidget(ack_);
    buttons->addStretch();
    buttons->addWidget(time_);
    v->addWidget(name_);
    v->addWidget(state_);
    v->addWidget(number_, 1);
    v->addWidget(model_);
    v->addWidget(message_);
    v->addLayout(buttons);
    Show(Waiting, -1, {}, {});
}

void TTile::Show(TLook look, int serial, const QString& model, const QString& message)
{
    if (look != look_)
        since_ = QDateTime::currentDateTime();
    look_ = look;
    const TLookStyle& s = kLooks[look];
    state_->setText(QString::fromUtf16(s.words));
    number_->setText(serial >= 0 ? u"№ "_s + QString::number(serial) : QString());
    model_->setText(model);
    message_->setText(message.left(400));
    // The palette, not a style sheet (the Windows build's Qt has none): the labels inherit it.
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(QString::fromLatin1(s.background)));
    colours.setColor(QPalette::WindowText, QColor(QString::fromLatin1(s.text)));
    setPalette(colours);
    ack_->setVisible(look == Acknowledge || look == Failed);
    SetPaused(paused_);
    pause_->setEnabled(look != Finished);
    Tick();
}

void TTile::SetPaused(bool paused)
{
    paused_ = paused;
    pause_->setText(!paused                                ? u"Пауза"_s
                    : look_ == Paused || look_ == Finished ? u"Продолжить"_s
                                                           : u"Продолжить (пауза после прибора)"_s);
}

void TTile::Tick()
{
    // How long a device has sat here; a fixture that waits shows none (and costs no repaint).
    if (look_ == Waiting || look_ == Paused || look_ == Finished) {
        time_->clear();
        return;
    }
    const qint64 s = since_.secsTo(QDateTime::currentDateTime());
    time_->setText(u"%1:%2"_s.arg(s / 60).arg(s % 60, 2, 10, QChar(u'0')));
}
