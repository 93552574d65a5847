// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#include "wrappingbutton.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLabel>
#include <QLatin1StringView>
#include <QMargins>
#include <QResizeEvent>
#include <QSize>
#include <QStringList>

namespace {

// Room left between the caption and the button's edge.
constexpr QMargins CaptionMargins(2, 1, 2, 1);
// What the button's frame adds to its caption's size.
constexpr QSize FrameSize(8, 6);

// The button as a screen reader meets it: a push button named by its caption, whose label is part
// of it and no child of its own, or the caption would be read twice.
class AccessibleButton : public QAccessibleWidget
{
public:
    explicit AccessibleButton(QPushButton *button) : QAccessibleWidget(button, QAccessible::Button)
    {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }

    int childCount() const override { return 0; }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.pressed = button()->isDown();
        return state;
    }
    QStringList actionNames() const override
    {
        return QStringList {pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &action) override
    {
        if (action != pressAction())
            QAccessibleWidget::doAction(action);
        else if (button()->isEnabled())
            button()->animateClick();
    }

private:
    QPushButton *button() const { return static_cast<QPushButton *>(widget()); }
};

QAccessibleInterface *accessibleButton(const QString &className, QObject *object)
{
    if (className != QLatin1StringView(WrappingButton::staticMetaObject.className()))
        return nullptr;
    return new AccessibleButton(static_cast<WrappingButton *>(object));
}

} // namespace

WrappingButton::WrappingButton(const QString &caption, QWidget *parent)
    : QPushButton(parent), m_label(new QLabel(caption, this))
{
    // Once, with the first button of the program.
    [[maybe_unused]] static const bool FactoryInstalled = [] {
        QAccessible::installFactory(&accessibleButton);
        return true;
    }();
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
