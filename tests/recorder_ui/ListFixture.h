#pragma once
// The record list on the offscreen platform, with a loopback server and a
// question presenter that answers as a test tells it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/AsfFileParts.h"
#include "tests/support/Samples.h"
#include "tests/support/TempFolder.h"
#include "tools/server/LoopbackServer.h"
#include "ui/recorder/RecordList.h"

// Readable texts in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace larkspan {

// Answers each question with answer (none: holds it); notes what was asked
// and whether on the user-interface thread.
class ScriptedPresenter : public QuestionPresenter {
public:
    void Present(const std::shared_ptr<WorkerQuestion>& q) override {
        asked.push_back(q);
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
        if (answer) answer(*q);
    }
    std::function<void(WorkerQuestion&)> answer;
    std::vector<std::shared_ptr<WorkerQuestion>> asked;
    bool onGuiThread = true;
};

class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        samples_ = testsupport::SamplesDir();
        if (samples_.empty()) GTEST_SKIP() << testsupport::SamplesError();
        settings_.baseDir = base_.Path();
        settings_.repeat = 0;
        list_.SetSettings(settings_);
        list_.Bridge()->SetPresenter(&presenter_);
        QObject::connect(&list_, &RecordList::rowStatusShown, [this](int row, int status) {
            auto* m = list_.Model();
            shown_.push_back(std::to_string(row) + " " + std::to_string(status) + " " +
                             m->Text(row, 1).toStdString() + "|" + m->Text(row, 3).toStdString());
        });
        QObject::connect(&list_, &RecordList::message, [this](const QString& t) { messages_.push_back(t); });
    }
    void Serve(const std::string& key, const std::string& sample, testserver::StreamOptions options = {}) {
        std::string error;
        ASSERT_TRUE(server_.ServeFile(key, samples_ + "/" + sample, options, &error)) << error;
    }
    void StartServer() { ASSERT_TRUE(server_.StartMmsh()); }
    int Add(const std::string& source, const QString& name = "") {
        return list_.AddRow(QString::fromStdString(source), name, "0");
    }
    QString Cell(int row, int column) { return list_.Model()->Text(row, column); }
    // Spins the event loop until pred holds (the bound only keeps a failure
    // from hanging).
    static bool WaitFor(const std::function<bool()>& pred) { return QTest::qWaitFor(pred, 30000); }
    bool Idle() { return list_.WorkerCount() == 0; }

    std::string samples_;
    testsupport::TempFolder base_{"reclist"};
    RecorderSettings settings_;
    testserver::LoopbackServer server_;
    ScriptedPresenter presenter_;
    RecordList list_;
    std::vector<std::string> shown_;  // "row status time|percent" at each status shown
    std::vector<QString> messages_;
};

}  // namespace larkspan
