#include "wrappingbutton.h"

#include <QLabel>
#include <QMargins>
#include <QResizeEvent>

namespace {

// Room left between the caption and the button's edge.
constexpr QMargins CaptionMargins(2, 1, 2, 1);
// What the button's frame adds to its caption's size.
constexpr QSize FrameSize(8, 6);

} // namespace

WrappingButton::WrappingButton(const QString &caption, QWidget *parent)
    : QPushButton(parent), m_label(new QLabel(caption, this))
{
    // Enter in a text box must never click a button.
    setAutoDefault(false);
    setDefault(false);
    setAccessibleName(caption);

    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setAlignment(Qt::AlignCenter);
    m_label->setTextInteractionFlags(Qt::NoTextInteraction);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_label->setFocusPolicy(Qt::NoFocus);
}

QSize WrappingButton::sizeHint() const
{
    return m_label->sizeHint() + FrameSize;
}

QSize WrappingButton::minimumSizeHint() const
{
    return m_label->minimumSizeHint() + FrameSize;
}

// The caption fills the button, less a margin. A layout would place it the same, but would first
// lay out the wrapped caption to ask its size, for nothing, before the window can show.
void WrappingButton::resizeEvent(QResizeEvent *event)
{
    QPushButton::resizeEvent(event);
    m_label->setGeometry(rect().marginsRemoved(CaptionMargins));
}
