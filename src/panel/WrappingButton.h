#pragma once

#include <QPushButton>

// A push button whose title wraps onto more lines when the column is too narrow for it, instead
// of being clipped.
class WrappingButton : public QPushButton {
    Q_OBJECT
public:
    explicit WrappingButton(const QString& text, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSize sizeForTextWidth(int textWidth) const;
    int textWidthFor(int buttonWidth) const;
};
