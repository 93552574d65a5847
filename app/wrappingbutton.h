// Copyright (C) 2026 the Pelmar developers
// SPDX-License-Identifier: GPL-3.0-or-later

#ifndef WRAPPINGBUTTON_H
#define WRAPPINGBUTTON_H

#include <QPushButton>
#include <QSize>
#include <QString>

class QLabel;
class QResizeEvent;

// A push button whose caption is centred and wraps at word boundaries, which QPushButton cannot
// do: the caption is a word-wrapping label laid over the button, blind to the mouse.
class WrappingButton : public QPushButton
{
    Q_OBJECT

public:
    explicit WrappingButton(const QString &caption, QWidget *parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QLabel *m_label;
};

#endif // WRAPPINGBUTTON_H
