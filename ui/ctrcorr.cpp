#include "ctrcorr.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "counters.h"
#include "settings.h"
#include "formutil.h"
#include "guard.h"
#include "maskedit.h"
#include "msgs.h"

namespace {
const char* const kTimeMask = "00000\\:00;0;_";
}

TCountersForm::TCountersForm(TImageBuffer& image, QWidget* parent) : QDialog(parent), image_(image)
{
    setObjectName(QStringLiteral("CountersForm"));
    setWindowTitle(QStringLiteral("Установка счетчиков"));
    SetDialogFrame(this);
    setFixedSize(203, 163);
    setFont(PixelFont(QStringLiteral("Arial"), 12));

    auto right = [this](const char* name, const char* text, int x, int y, int w) {
        QLabel* l = MakeLabel(this, name, QString::fromUtf8(text), x, y, w, 15);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->move(x + w - l->width(), y);  // a right-aligned label grows to the left
        return l;
    };
    Label1 = right("Label1", "tp1", 48, 16, 17);
    Label2 = right("Label2", "tp2", 48, 44, 17);
    Label7 = right("Label7", "V1", 51, 76, 14);
    Label8 = right("Label8", "V2", 51, 104, 14);

    auto edit = [this](const char* name, int y, QLabel* buddy) {
        auto* e = new TMaskEdit(this);
        e->setObjectName(QString::fromLatin1(name));
        e->setGeometry(68, y, 69, 23);
        e->setAccessibleName(buddy->text());
        buddy->setBuddy(e);
        return e;
    };
    e1 = edit("e1", 12, Label1);
    e2 = edit("e2", 40, Label2);
    e3 = edit("e3", 72, Label7);
    e4 = edit("e4", 100, Label8);
    e1->SetEditMask(kTimeMask);
    e2->SetEditMask(kTimeMask);
    connect(e1, &TMaskEdit::Exited, this, &TCountersForm::e1Exit);
    connect(e2, &TMaskEdit::Exited, this, &TCountersForm::e2Exit);
    e1->SetExitCheck([this] { return MinutesValid(e1); });
    e2->SetExitCheck([this] { return MinutesValid(e2); });

    Note = new QLabel(this);
    Note->setObjectName(QStringLiteral("Note"));
    Note->setWordWrap(true);
    Note->setGeometry(8, 128, 187, 0);
    Note->hide();

    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("OK"), 20, 136, 75, 25, QStyle::SP_DialogOkButton);
    BitBtn2 = MakeButton(this, "BitBtn2", QStringLiteral("Отмена"), 112, 136, 75, 25, QStyle::SP_DialogCancelButton);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { RunGuarded([this] { BitBtn1Click(); }); });
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(e1, e2);
    setTabOrder(e2, e3);
    setTabOrder(e3, e4);
    setTabOrder(e4, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
}

void TCountersForm::CounterToText(int Position, int Count, bool IsTime, TMaskEdit* Edit)
{
    Edit->SetValue(QString::fromStdString(CounterDigits(image_, Position, Count, IsTime)));
}

void TCountersForm::TextToCounter(int Position, int Count, TMaskEdit* Edit)
{
    StoreCounterDigits(image_, Position, Count, Edit->Value().toStdString());
}

void TCountersForm::showEvent(QShowEvent* e)
{
    FormShow();
    CenterOnScreen(this);
    QDialog::showEvent(e);
    e1->setFocus();
}

void TCountersForm::FormShow()
{
    for (TMaskEdit* e : {e1, e2, e3, e4})
        e->setEnabled(true);
    e3->SetEditMask(TDeviceSettings(image_).VolumeMask(1));
    e4->SetEditMask(TDeviceSettings(image_).VolumeMask(2));
    CounterToText(pos::Tp1, pos::CounterBytes, true, e1);
    CounterToText(pos::Tp2, pos::CounterBytes, true, e2);
    if (e3->HasMask())
        CounterToText(pos::V1, pos::CounterBytes, false, e3);
    else
        e3->setEnabled(false);  // keeps whatever it showed before
    if (e4->HasMask())
        CounterToText(pos::V2, pos::CounterBytes, false, e4);
    else
        e4->setEnabled(false);
    TMaskEdit* all[4] = {e1, e2, e3, e4};
    for (int i = 0; i < 4; ++i)
        shown_[i] = all[i]->Value();
    // What a field cannot show whole is said under the fields; left untouched, it stays as it is.
    QStringList hidden;
    const TDeviceSettings settings(image_);
    for (TCounter c : {TCounter::Tp1, TCounter::Tp2, TCounter::V1, TCounter::V2})
        if (!settings.CounterFitsField(c))
            hidden << QStringLiteral("%1 в приборе: %2").arg(QString::fromLatin1(CounterName(c)),
                                                              QString::fromStdString(settings.CounterWhole(c)));
    Note->setText(hidden.join(u'\n') + QStringLiteral("\nНе измененное поле останется как есть."));
    Note->setVisible(!hidden.isEmpty());
    const int noteHeight = hidden.isEmpty() ? 0 : Note->heightForWidth(Note->width()) + 6;
    Note->resize(Note->width(), noteHeight);
    setFixedSize(203, 163 + noteHeight);
    for (QPushButton* b : {BitBtn1, BitBtn2})
        b->move(b->x(), 136 + noteHeight);
}

bool TCountersForm::MinutesValid(const TMaskEdit* e)
{
    // The tens digit of the minutes, the 6th of the field's 7 digits.
    const QString v = e->Value();
    return !(v.size() >= 6 && v[5] > u'5');
}

void TCountersForm::MinutesCheck(TMaskEdit* e)
{
    if (!MinutesValid(e)) {
        QMessageBox box(QMessageBox::NoIcon, AppTitle(), QStringLiteral("Введите значение минут в диапазоне 0-59"),
                        QMessageBox::Ok, this);
        box.exec();
        e->setFocus();
    }
}

void TCountersForm::e1Exit() { MinutesCheck(e1); }
void TCountersForm::e2Exit() { MinutesCheck(e2); }

void TCountersForm::BitBtn1Click()
{
    struct Field {
        TMaskEdit* edit;
        int position;
        const QString& shown;
    };
    const Field fields[4] = {
        {e1, pos::Tp1, shown_[0]}, {e2, pos::Tp2, shown_[1]}, {e3, pos::V1, shown_[2]}, {e4, pos::V2, shown_[3]}};
    // Enter in a changed, incomplete field skips that field's own check: refuse here.
    for (const Field& f : fields)
        if (f.edit->isEnabled() && f.edit->HasMask() && f.edit->Value() != f.shown && !f.edit->IsComplete()) {
            f.edit->setFocus();
            QApplication::beep();
            ShowTopLevelError(TMaskEdit::InvalidValueText());
            return;
        }
    auto store = [this](const Field& f) {
        // A field left as shown keeps the device's bytes as read: the field may not show them
        // whole (a time counter's highest digit, bytes that are not decimal digits).
        if (f.edit->Value() == f.shown)
            return;
        TextToCounter(f.position, pos::CounterBytes, f.edit);
    };
    store(fields[0]);
    store(fields[1]);
    if (e3->HasMask())
        store(fields[2]);
    else
        ShowInfoMsg(
            QStringLiteral("По первому каналу установлен запрещенный тип входного сигнала, счетчик не записан!"),
            QStringLiteral("Информация"));
    if (e4->HasMask())
        store(fields[3]);
    else
        ShowInfoMsg(
            QStringLiteral("По второму каналу установлен запрещенный тип входного сигнала, счетчик не записан!"),
            QStringLiteral("Информация"));
    accept();
}
