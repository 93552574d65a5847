#include "wrappingbutton.h"

#include <QLabel>
#include <QVBoxLayout>

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

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->addWidget(m_label);
}

QString WrappingButton::caption() const
{
    return m_label->text();
}

QSize WrappingButton::sizeHint() const
{
    return m_label->sizeHint() + QSize(8, 6);
}

QSize WrappingButton::minimumSizeHint() const
{
    return m_label->minimumSizeHint() + QSize(8, 6);
}
