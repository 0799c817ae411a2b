// A main window on a store with temporary settings, files and readers, a motor library of
// its own and a crew preview stand-in that records what it was given (no browser).
#pragma once

#include "support/AppTesting.h"
#include "support/FakePrompts.h"
#include "support/TempDir.h"

#include "analysis/CrewDoc.h"
#include "pages/MotorLibrary.h"
#include "shell/ImportWorker.h"
#include "shell/MainWindow.h"
#include "shell/ProjectStore.h"

#include <QLabel>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace rig::app::testing {

// The crew preview as a label; every document it is given is kept.
struct CrewPreviewRecorder {
    struct Shown {
        CrewDoc doc;
        bool split = false;
    };
    std::shared_ptr<std::vector<Shown>> shown = std::make_shared<std::vector<Shown>>();

    MainWindow::CrewPreview preview() const {
        auto log = shown;
        return {[log](const CrewDoc& doc, bool split, QWidget* parent) -> QWidget* {
                    log->push_back({doc, split});
                    return new QLabel(QStringLiteral("crew preview"), parent);
                },
                [log](QWidget*, const CrewDoc& doc, bool split) {
                    log->push_back({doc, split});
                }};
    }
};

// Readers that record the files handed to them, in order, across threads.
struct RecordingReaders {
    struct Log {
        std::mutex mutex;
        std::vector<std::string> files; // file names
    };
    std::shared_ptr<Log> log = std::make_shared<Log>();
    // What the report reader gives.
    std::shared_ptr<Report> report = std::make_shared<Report>();

    ImportReaders readers() const {
        auto l = log;
        auto r = report;
        ImportReaders readers;
        readers.report = [l, r](const std::filesystem::path& file, std::stop_token) {
            note(*l, file);
            return *r;
        };
        readers.inventory = [l](const std::filesystem::path& file, std::stop_token) {
            note(*l, file);
            return List<InventoryItem>{};
        };
        readers.dxf = [l](const std::filesystem::path& file, std::stop_token) {
            note(*l, file);
            return std::vector<DXFSource>{};
        };
        return readers;
    }

    std::vector<std::string> files() const {
        std::lock_guard lock(log->mutex);
        return log->files;
    }

private:
    static void note(Log& l, const std::filesystem::path& file) {
        std::lock_guard lock(l.mutex);
        l.files.push_back(file.filename().string());
    }
};

// Drag data carrying local files, as a file manager gives it.
inline std::unique_ptr<QMimeData> fileDrag(const std::vector<std::filesystem::path>& files) {
    auto mime = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const auto& file : files) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    mime->setUrls(urls);
    return mime;
}

} // namespace rig::app::testing
