#include "support/ShownTexts.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QTextDocumentFragment>

#include <algorithm>
#include <vector>

namespace rig::app::testing {

void settleLayouts() {
    // A layout done may ask for another one further up or down.
    for (int i = 0; i < 8; ++i) QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
}

std::vector<QStringList> shownLines(QWidget* root) {
    settleLayouts();

    struct Item {
        QRect place;
        QString text;
    };
    std::vector<Item> items;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root)) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const bool rich = label->textFormat() == Qt::RichText ||
                              (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
            text = rich ? QTextDocumentFragment::fromHtml(label->text()).toPlainText() : label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            text = button->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
        }
        if (text.isEmpty()) continue;
        items.push_back({QRect(w->mapTo(root, QPoint(0, 0)), w->size()), text});
    }
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
        return a.place.center().y() < b.place.center().y();
    });
    // A line is what lies beside its first item; within a line, left to right.
    std::vector<QStringList> out;
    for (std::size_t start = 0; start < items.size();) {
        const QRect first = items[start].place;
        std::size_t end = start + 1;
        while (end < items.size() && items[end].place.center().y() <= first.bottom()) ++end;
        std::stable_sort(items.begin() + std::ptrdiff_t(start), items.begin() + std::ptrdiff_t(end),
                         [](const Item& a, const Item& b) { return a.place.x() < b.place.x(); });
        QStringList line;
        for (std::size_t i = start; i < end; ++i) line << items[i].text;
        out.push_back(line);
        start = end;
    }
    return out;
}

QStringList shownTexts(QWidget* root) {
    QStringList out;
    for (const QStringList& line : shownLines(root)) out += line;
    return out;
}

} // namespace rig::app::testing
