#include "SnapshotTexts.h"

#include "PublishAddresses.h"
#include "PublishClient.h"
#include "QtText.h"
#include "base/Number.h"

#include <QFileInfo>

#include <charconv>
#include <cmath>

namespace rig::app {

SnapshotSteps defaultSnapshotSteps() {
    return {std::nullopt, QStringLiteral("ALL/MAIN/L2 L"), QStringLiteral("B-LAVA/KARA/KARA 3"),
            QStringLiteral("ALL/GR SUB/CS 1")};
}

SnapshotSteps parseSnapshotSteps(const std::optional<QString>& value) {
    if (!value) return defaultSnapshotSteps();
    SnapshotSteps steps;
    for (const QString& piece : value->split(QLatin1Char('|'), Qt::SkipEmptyParts)) {
        if (piece == QLatin1String("overview")) {
            steps.push_back(std::nullopt);
        } else {
            steps.push_back(piece);
        }
    }
    return steps;
}

QList<QUrl> parseSnapshotFiles(const QString& value) {
    QList<QUrl> files;
    for (const QString& piece : value.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        files.push_back(QUrl::fromLocalFile(QFileInfo(piece).absoluteFilePath()));
    return files;
}

QString snapshotNumberText(double value) {
    if (!std::isfinite(value)) return toQ(formatShortest(value));
    const double magnitude = std::abs(value);
    const bool fixed = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 1e16);
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      fixed ? std::chars_format::fixed : std::chars_format::scientific);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (fixed && !text.contains(QLatin1Char('.'))) text += QLatin1String(".0");
    return text;
}

QString accessoryText(const RigDXF::Options& options, QSizeF size) {
    return QStringLiteral("drops ") + (options.drops ? "true" : "false") + " footprints " +
           toQ(RigDXF::Options::rawValue(options.footprints)) + " h " +
           snapshotNumberText(options.footprintHeight) + " size (" + snapshotNumberText(size.width()) + ", " +
           snapshotNumberText(size.height()) + ")";
}

std::optional<double> parseTestHeight(const QString& value) {
    const std::optional<double> number = parseDecimal(toStd(value));
    if (!number || !std::isfinite(*number)) return std::nullopt;
    return number;
}

namespace {

QString debugQuoted(std::string_view text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : toQ(text)) {
        switch (c.unicode()) {
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case 0:
            out += QLatin1String("\\0");
            break;
        default:
            if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
                out += QStringLiteral("\\u{%1}").arg(c.unicode(), 0, 16);
            } else {
                out += c;
            }
        }
    }
    return out + QLatin1Char('"');
}

} // namespace

QString changeMapDebugText(const ChangeMap& changes) {
    if (changes.empty()) return QStringLiteral("[:]");
    QStringList entries;
    for (const auto& [id, texts] : changes) {
        QStringList items;
        for (const std::string& text : texts) items << debugQuoted(text);
        entries << debugQuoted(id) + ": [" + items.join(QLatin1String(", ")) + "]";
    }
    return "[" + entries.join(QLatin1String(", ")) + "]";
}

qsizetype countOccurrences(const QString& text, const QString& pattern) {
    if (pattern.isEmpty()) return 0;
    qsizetype count = 0;
    for (qsizetype at = text.indexOf(pattern); at >= 0; at = text.indexOf(pattern, at + pattern.size()))
        ++count;
    return count;
}

QString visibilityResultLine(const QString& answer) {
    const qsizetype sources = countOccurrences(answer, QStringLiteral("\"name\":\"CS "));
    const auto flag = [&](const char* word) {
        return answer.contains(QLatin1String(word)) ? "true" : "false";
    };
    return QStringLiteral("after visibility: CS sources=") + QString::fromStdString(integerText(sources)) +
           " leakedMotor=" + flag("NOT PUBLISHED") + " keptTestMotor=" + flag("Test 1t");
}

std::optional<QUrl> linkDocumentUrl(const QString& server, const QString& token) {
    const std::optional<QString> segment = tokenSegment(token);
    if (!segment) return std::nullopt;
    // Read as the publish read it: what reached the server there is fetched from here.
    return publishUrl(server, "/api/rig/" + *segment);
}

QString snapshotStateText(qsizetype sources, const std::optional<QString>& error) {
    return QStringLiteral("sources: ") + QString::fromStdString(integerText(sources)) +
           "\nerror: " + error.value_or(QStringLiteral("-")) + "\n";
}

} // namespace rig::app
