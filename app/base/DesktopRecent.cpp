#include "DesktopRecent.h"

#include "QtText.h"
#include "base/Date.h"
#include "base/File.h"

#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <exception>
#include <utility>
#include <vector>

namespace rig::app {

namespace {

const QString bookmarkNamespace = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString mimeNamespace = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString metadataOwner = QStringLiteral("http://freedesktop.org");
// Lists of some thousand entries are a few MB; anything far larger is not one to rewrite.
constexpr qint64 largestList = 64 * 1024 * 1024;

const char* const emptyList = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"/>
)";

QList<QDomElement> childElements(const QDomElement& parent, const QString& tag) {
    QList<QDomElement> found;
    for (QDomElement e = parent.firstChildElement(tag); !e.isNull(); e = e.nextSiblingElement(tag))
        found.push_back(e);
    return found;
}

QDomElement childElement(QDomElement parent, const QString& tag, bool create) {
    QDomElement e = parent.firstChildElement(tag);
    if (e.isNull() && create) e = parent.appendChild(parent.ownerDocument().createElement(tag)).toElement();
    return e;
}

// The list is read without namespace processing (so every declaration and prefix is written
// back as it was): the prefix this list uses for `uri`, declared on the root when missing.
QString prefixFor(QDomElement root, const QString& uri, const QString& preferred) {
    const QDomNamedNodeMap attributes = root.attributes();
    for (int i = 0; i < attributes.count(); ++i) {
        const QDomAttr a = attributes.item(i).toAttr();
        if (a.name().startsWith(QLatin1String("xmlns:")) && a.value() == uri) return a.name().mid(6);
    }
    QString prefix = preferred;
    for (int n = 2; root.hasAttribute("xmlns:" + prefix); ++n) prefix = preferred + QString::number(n);
    root.setAttribute("xmlns:" + prefix, uri);
    return prefix;
}

// Entries in this program's list of applications, in the bookmark's metadata.
struct Names {
    QString applications, application, mimeType;
};

QDomElement metadataOf(QDomElement bookmark, bool create) {
    QDomElement info = childElement(bookmark, QStringLiteral("info"), create);
    if (info.isNull()) return {};
    for (const QDomElement& m : childElements(info, QStringLiteral("metadata")))
        if (m.attribute(QStringLiteral("owner")) == metadataOwner) return m;
    if (!create) return {};
    QDomElement m =
        info.appendChild(bookmark.ownerDocument().createElement(QStringLiteral("metadata"))).toElement();
    m.setAttribute(QStringLiteral("owner"), metadataOwner);
    return m;
}

QDomElement ownApplication(const QDomElement& bookmark, const Names& names, const QString& appName) {
    const QDomElement metadata = metadataOf(bookmark, false);
    if (metadata.isNull()) return {};
    for (const QDomElement& apps : childElements(metadata, names.applications))
        for (const QDomElement& app : childElements(apps, names.application))
            if (app.attribute(QStringLiteral("name")) == appName) return app;
    return {};
}

bool sameFile(const QString& href, const QUrl& file) {
    return QUrl::fromEncoded(href.toUtf8()).adjusted(QUrl::NormalizePathSegments) == file;
}

enum class Attempt { written, changed, failed };

// One try: the list as read now with `file` noted, written unless another program replaced
// the list meanwhile.
Attempt noteOnce(const QString& listPath, const QString& file, const DesktopRecentApp& app) {
    QDomDocument list;
    const QFileInfo info(listPath);
    FileStamp read;
    if (info.exists() || info.isSymLink()) {
        if (!info.isFile() || info.size() > largestList) return Attempt::failed;
        std::string bytes;
        try {
            bytes = readFile(toPath(listPath), largestList, &read);
        } catch (const std::exception&) {
            return Attempt::failed;
        }
        if (!list.setContent(QByteArray::fromStdString(bytes), false)) return Attempt::failed;
    } else {
        list.setContent(QByteArray(emptyList), false);
    }
    QDomElement root = list.documentElement();
    if (root.tagName() != QLatin1String("xbel")) return Attempt::failed;

    const QString bookmarkPrefix = prefixFor(root, bookmarkNamespace, QStringLiteral("bookmark"));
    const QString mimePrefix = prefixFor(root, mimeNamespace, QStringLiteral("mime"));
    const Names names{bookmarkPrefix + ":applications", bookmarkPrefix + ":application",
                      mimePrefix + ":mime-type"};
    const QUrl url = QUrl::fromLocalFile(file);
    const QString now = toQ(formatISODate(nowSeconds()));

    QDomElement bookmark;
    for (const QDomElement& b : childElements(root, QStringLiteral("bookmark")))
        if (sameFile(b.attribute(QStringLiteral("href")), url)) bookmark = b;
    if (bookmark.isNull()) {
        bookmark = root.appendChild(list.createElement(QStringLiteral("bookmark"))).toElement();
        bookmark.setAttribute(QStringLiteral("href"), QString::fromUtf8(url.toEncoded()));
        bookmark.setAttribute(QStringLiteral("added"), now);
    }
    bookmark.setAttribute(QStringLiteral("modified"), now);
    bookmark.setAttribute(QStringLiteral("visited"), now);
    QDomElement metadata = metadataOf(bookmark, true);
    if (childElement(metadata, names.mimeType, false).isNull()) {
        QDomElement type = list.createElement(names.mimeType);
        type.setAttribute(QStringLiteral("type"), app.mimeType);
        metadata.insertBefore(type, metadata.firstChild());
    }
    QDomElement own = ownApplication(bookmark, names, app.name);
    if (own.isNull()) {
        own = childElement(metadata, names.applications, true)
                  .appendChild(list.createElement(names.application))
                  .toElement();
        own.setAttribute(QStringLiteral("name"), app.name);
    }
    // Quoted for the shell, as the desktop's own libraries store it.
    own.setAttribute(QStringLiteral("exec"), "'" + app.exec + "'");
    own.setAttribute(QStringLiteral("modified"), now);
    own.setAttribute(QStringLiteral("count"), own.attribute(QStringLiteral("count")).toInt() + 1);

    // The newest last: only so many of this program's own stay, and another program's part
    // of a bookmark stays with it.
    root.appendChild(bookmark);
    std::vector<std::pair<QDomElement, QDomElement>> older;
    for (const QDomElement& b : childElements(root, QStringLiteral("bookmark"))) {
        const QDomElement a = ownApplication(b, names, app.name);
        if (b != bookmark && !a.isNull()) older.emplace_back(b, a);
    }
    for (std::size_t i = 0; i + std::max(app.limit - 1, 0) < older.size(); ++i) {
        auto& [b, a] = older[i];
        QDomNode apps = a.parentNode();
        apps.removeChild(a);
        if (apps.firstChildElement().isNull()) root.removeChild(b);
    }

    // Written as UTF-8 whatever the list was in, so it says so: a list read as ISO-8859-1 or
    // UTF-16 would otherwise be misread by everyone after.
    const QString declaration = QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"");
    QDomNode first = list.firstChild();
    if (first.isProcessingInstruction() && first.toProcessingInstruction().target() == QLatin1String("xml")) {
        first.toProcessingInstruction().setData(declaration);
    } else {
        list.insertBefore(list.createProcessingInstruction(QStringLiteral("xml"), declaration), first);
    }
    try {
        QDir().mkpath(info.absolutePath());
        return replaceFileIfUnchanged(toPath(listPath), list.toByteArray(2).toStdString(), read)
                   ? Attempt::written
                   : Attempt::changed;
    } catch (const std::exception&) {
        return Attempt::failed;
    }
}

} // namespace

bool noteDesktopRecent(const QString& listPath, const QString& file, const DesktopRecentApp& app) {
    if (listPath.isEmpty()) return false;
    // Other programs rewrite the list at any time: a list replaced between reading and writing
    // is read again, so that what they noted meanwhile stays.
    constexpr int tries = 8;
    for (int n = 0; n < tries; ++n) {
        switch (noteOnce(listPath, file, app)) {
        case Attempt::written:
            return true;
        case Attempt::failed:
            return false;
        case Attempt::changed:
            break;
        }
    }
    return false;
}

} // namespace rig::app
