#include "custdlg.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cmath>
#include <memory>
#include <stdexcept>

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const long long p = static_cast<long long>(a) * b;
    const long long q = p / c, r = p % c;
    // Halves away from zero.
    if (2 * std::llabs(r) >= std::llabs(static_cast<long long>(c)))
        return static_cast<int>(q + (((p < 0) != (c < 0)) ? -1 : 1));
    return static_cast<int>(q);
}

const QFont& DefaultDlgFont()
{
    // Created on first use (the program asks for it before its first window) and kept.
    // Qt has no character-set field: Cyrillic comes with the font's Unicode coverage.
    static const QFont* font = [] {
        auto* f = new QFont(QStringLiteral("Arial"));
        f->setPointSize(10);
        f->setBold(false);
        f->setItalic(false);
        f->setUnderline(false);
        f->setStrikeOut(false);
        return f;
    }();
    return *font;
}

QColor DefaultDlgFontColor() { return QApplication::palette().color(QPalette::WindowText); }

namespace {

constexpr int kTextFlags = Qt::TextWordWrap | Qt::TextExpandTabs;

QIcon StandardIcon(DialogType t)
{
    QStyle* s = QApplication::style();
    switch (t) {
    case DialogType::Warning: return s->standardIcon(QStyle::SP_MessageBoxWarning);
    case DialogType::Error: return s->standardIcon(QStyle::SP_MessageBoxCritical);
    case DialogType::Information: return s->standardIcon(QStyle::SP_MessageBoxInformation);
    case DialogType::Confirmation: return s->standardIcon(QStyle::SP_MessageBoxQuestion);
    case DialogType::Plain: break;
    }
    return {};
}

QColor SystemColor(uint32_t value)
{
    if ((value & 0xFF000000u) != 0xFF000000u)
        return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
    const QPalette p = QApplication::palette();
    switch (value & 0xFF) {
    case 15: return p.color(QPalette::Button);
    case 8: return p.color(QPalette::WindowText);
    case 5: return p.color(QPalette::Base);
    default: return p.color(QPalette::Window);
    }
}

}  // namespace

void TMessageLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const int align = layoutDirection() == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft;
    p.drawText(rect(), kTextFlags | align | Qt::AlignTop, text());
}

TMessageForm::TMessageForm(QWidget* owner) : QDialog(owner)
{
    // On top of every window; a fixed frame with a title and no title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setModal(true);
    // The platform's message font first; CustomDlg replaces it in every case.
    setFont(QApplication::font("QMessageBox"));
}

bool TMessageForm::HandleKey(QKeyEvent* e)
{
    const int key = e->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_Escape)
        return false;
    // Neither key counts with Shift, Ctrl or Alt (the keypad flag is no modifier).
    if (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier))
        return true;
    if (key == Qt::Key_Escape) {
        if (CancelBtn)
            CancelBtn->click();
        return true;
    }
    if (auto* b = qobject_cast<QPushButton*>(focusWidget()))
        b->click();
    else if (DefaultBtn)
        DefaultBtn->click();
    return true;
}

void TMessageForm::keyPressEvent(QKeyEvent* e)
{
    if (!HandleKey(e))
        QDialog::keyPressEvent(e);
}

bool TMessageForm::eventFilter(QObject* watched, QEvent* e)
{
    // The buttons would take Enter themselves (also with modifiers): decide here instead.
    if (e->type() == QEvent::KeyPress && HandleKey(static_cast<QKeyEvent*>(e)))
        return true;
    return QDialog::eventFilter(watched, e);
}

void TMessageForm::reject() { done(2); }

void TMessageForm::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    // Centre by the outer size, frame and title included, once the frame is known.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QSize outer = frameGeometry().size();
    move(screen.width() / 2 - outer.width() / 2, screen.height() / 2 - outer.height() / 2);
}

TCursorSuspend::TCursorSuspend()
{
    while (const QCursor* c = QGuiApplication::overrideCursor()) {
        saved_.push_back(*c);
        QGuiApplication::restoreOverrideCursor();
    }
}

TCursorSuspend::~TCursorSuspend()
{
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
        QGuiApplication::setOverrideCursor(*it);
}

int CustomDlg(DialogType DlgType, const QString& Msg, const QString& Caption, const ButtonsDescriptor& Buttons,
              int DefaultButton, bool AddCancel, uint32_t Color, const QFont* Font, int EscapeButton)
{
    // The descriptor is read before any window exists.
    if (!Buttons.IsArray || Buttons.LowBound != 0)
        throw std::runtime_error("Invalid buttons descriptor in CustomDlg");
    QStringList captions;
    for (const QVariant& v : Buttons.Elements)
        captions << v.toString();
    if (AddCancel)
        captions << QStringLiteral("Отмена");
    const int N = static_cast<int>(captions.size());

    TCursorSuspend noWaitCursor;
    auto form = std::make_unique<TMessageForm>(nullptr);  // freed on every way out
    const QFont font = Font ? *Font : DefaultDlgFont();
    form->setFont(font);
    QPalette pal = form->palette();
    if (!Font)
        pal.setColor(QPalette::WindowText, DefaultDlgFontColor());
    if (Color != NoColor) {
        pal.setColor(QPalette::Window, SystemColor(Color));
        form->setAutoFillBackground(true);
    }
    form->setPalette(pal);
    form->setLayoutDirection(QApplication::layoutDirection());
    const bool rtl = form->layoutDirection() == Qt::RightToLeft;

    const QFontMetrics fm(font);
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int AW = fm.horizontalAdvance(letters) / 52;
    const int AH = fm.height();
    const int MarginX = MulDiv(8, AW, 4), MarginY = MulDiv(8, AH, 8);
    const int GapX = MulDiv(10, AW, 4), GapY = MulDiv(10, AH, 8);
    int ButtonWidth = MulDiv(50, AW, 4);
    for (const QString& c : captions) {
        const int w = fm.size(Qt::TextSingleLine | Qt::TextShowMnemonic, c).width();
        if (w + 8 > ButtonWidth)
            ButtonWidth = w + 8;
    }
    const int ButtonHeight = MulDiv(14, AH, 8), ButtonGap = MulDiv(4, AW, 4);

    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect text =
        Msg.isEmpty() ? QRect(0, 0, 0, 0) : fm.boundingRect(QRect(0, 0, screen.width() / 2, 0), kTextFlags, Msg);
    const QIcon icon = StandardIcon(DlgType);
    const bool hasIcon = DlgType != DialogType::Plain;
    int BodyWidth = text.width(), BodyHeight = text.height();
    if (hasIcon) {
        BodyWidth += GapX + 32;
        if (BodyHeight < 32)
            BodyHeight = 32;
    }
    const int RowWidth = N * ButtonWidth + (N - 1) * ButtonGap;
    const int clientW = std::max(BodyWidth, RowWidth) + 2 * MarginX;
    const int clientH = BodyHeight + ButtonHeight + GapY + 2 * MarginY;
    form->setFixedSize(clientW, clientH);
    form->setWindowTitle(Caption);

    if (hasIcon) {
        auto* image = new QLabel(form.get());
        image->setObjectName(QStringLiteral("Image"));
        image->setGeometry(MarginX, MarginY, 32, 32);
        image->setPixmap(icon.pixmap(32, 32));
    }
    auto* label = new TMessageLabel(form.get());
    label->setObjectName(QStringLiteral("Message"));
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setText(Msg);
    int left = MarginX + (hasIcon ? 32 + GapX : 0);
    if (rtl)
        left = clientW - left - text.width();
    label->setGeometry(left, MarginY, text.width(), text.height());

    int x = (clientW - RowWidth) / 2;
    const int y = BodyHeight + MarginY + GapY;
    for (int i = 0; i < N; ++i) {
        auto* b = new QPushButton(captions[i], form.get());
        b->setObjectName(QStringLiteral("btn%1").arg(i));
        b->setGeometry(x, y, ButtonWidth, ButtonHeight);
        b->setAutoDefault(false);
        b->installEventFilter(form.get());
        // The row is not mirrored for right-to-left reading.
        b->setLayoutDirection(Qt::LeftToRight);
        QObject::connect(b, &QPushButton::clicked, form.get(), [f = form.get(), i] { f->done(i + 1); });
        if (i == DefaultButton) {
            b->setDefault(true);
            form->DefaultBtn = b;
        } else if (AddCancel && i == N - 1) {
            form->CancelBtn = b;
        }
        if (i == EscapeButton)
            form->CancelBtn = b;
        form->Buttons.push_back(b);
        x += ButtonWidth + ButtonGap;
    }
    if (form->DefaultBtn)
        form->DefaultBtn->setFocus();
    else if (!form->Buttons.empty())
        form->Buttons.front()->setFocus();

    int result = form->exec();
    if (AddCancel && result == N)
        result = 0;
    return result;
}

int MessageDlgEx(DialogType DlgType, const QString& Msg, const QString& Caption, const QVariantList& Buttons,
                 int DefaultButton, uint32_t Color, const QFont* Font, int EscapeButton)
{
    QVariantList captions;
    for (const QVariant& v : Buttons) {
        if (v.metaType().id() != QMetaType::QString)
            throw std::runtime_error("Invalid button caption (not a string)");
        captions << v;
    }
    return CustomDlg(DlgType, Msg, Caption, ButtonsDescriptor::Array(captions), DefaultButton, false, Color, Font,
                     EscapeButton);
}
