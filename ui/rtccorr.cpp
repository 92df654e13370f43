#include "rtccorr.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>

#include "formutil.h"

void DecodeCorrection(QSlider* TrackBar, QLabel* l1, uint8_t Byte)
{
    const int v = CorrectionValue(Byte);
    TrackBar->setValue(v);  // the slider keeps itself within -25..25
    l1->setText(QStringLiteral("%1 сек").arg(v));
}

uint8_t EncodeCorrection(const QSlider* TrackBar) { return CorrectionByte(TrackBar->value()); }

TTrackBar::TTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {}

void TTrackBar::keyPressEvent(QKeyEvent* e)
{
    // The platform's track bar: Up and Page Up move toward the minimum, Down and Page Down
    // toward the maximum (QSlider has them the other way round). Left, Right, Home and End
    // stay QSlider's.
    switch (e->key()) {
    case Qt::Key_Up: triggerAction(SliderSingleStepSub); return;
    case Qt::Key_Down: triggerAction(SliderSingleStepAdd); return;
    case Qt::Key_PageUp: triggerAction(SliderPageStepSub); return;
    case Qt::Key_PageDown: triggerAction(SliderPageStepAdd); return;
    default: QSlider::keyPressEvent(e);
    }
}

TRTCCorrectionForm::TRTCCorrectionForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("RTCCorrectionForm"));
    setWindowTitle(QStringLiteral("Автокоррекция RTC"));
    SetDialogFrame(this);
    setFixedSize(447, 92);
    setFont(PixelFont(QStringLiteral("Arial"), 12));

    Label2 = MakeLabel(this, "Label2", QStringLiteral("-25"), 0, 0, 18, 15);
    Label1 = MakeLabel(this, "Label1", QStringLiteral("0"), 181, 0, 7, 15);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("25"), 352, 0, 14, 15);

    TrackBar1 = new TTrackBar(this);
    TrackBar1->setObjectName(QStringLiteral("TrackBar1"));
    TrackBar1->setGeometry(0, 14, 369, 25);
    TrackBar1->setRange(-25, 25);
    TrackBar1->setValue(0);
    TrackBar1->setSingleStep(1);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setTickInterval(1);
    TrackBar1->setAccessibleName(QStringLiteral("Автокоррекция RTC, сек"));
    connect(TrackBar1, &QSlider::valueChanged, this, &TRTCCorrectionForm::TrackBar1Change);

    l1 = MakeLabel(this, "l1", QStringLiteral("0%"), 372, 15, 65, 18);
    l1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l1->setAlignment(Qt::AlignCenter);

    BitBtn1 = MakeButton(this, "BitBtn1", QStringLiteral("OK"), 144, 56, 75, 25, QStyle::SP_DialogOkButton);
    BitBtn2 = MakeButton(this, "BitBtn2", QStringLiteral("Отмена"), 236, 56, 75, 25, QStyle::SP_DialogCancelButton);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(BitBtn1, BitBtn2);
    setTabOrder(BitBtn2, TrackBar1);
}

void TRTCCorrectionForm::TrackBar1Change() { l1->setText(QStringLiteral("%1 сек").arg(TrackBar1->value())); }

void TRTCCorrectionForm::showEvent(QShowEvent* e)
{
    CenterOnScreen(this);
    QDialog::showEvent(e);
}

bool TRTCCorrectionForm::EditCorrection(uint8_t& Correction)
{
    DecodeCorrection(TrackBar1, l1, Correction);
    BitBtn1->setFocus();
    if (exec() != QDialog::Accepted)
        return false;
    Correction = EncodeCorrection(TrackBar1);
    return true;
}
