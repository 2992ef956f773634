#include "shell/PopupPlacement.h"

#include <algorithm>

namespace PopupPlacement {

QPoint place(const QRect& anchor, const QSize& popup, const QRect& screen)
{
    int x = anchor.center().x() - popup.width() / 2;
    x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - popup.width()));

    const int below = anchor.bottom() + 1;
    const int above = anchor.top() - popup.height();
    int y = below;
    if (below + popup.height() > screen.bottom() + 1 && above >= screen.top())
        y = above;
    y = std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - popup.height()));
    return {x, y};
}

} // namespace PopupPlacement
