// A stand-in for the windows' file pickers: answers from a queue and records every request.
//
// Installed for its lifetime: { FakeFileDialogs fake; fake.answers = {"/tmp/x.log"}; ... }.
// An exhausted queue answers "" (cancelled).
#pragma once

#include "ui/FileDialogs.h"

#include <deque>
#include <vector>

namespace qvtest {

class FakeFileDialogs : public qv::FileDialogs
{
public:
    struct Asked {
        bool save = false;
        qv::FileDialogRequest request;
    };

    FakeFileDialogs() { qv::setFileDialogs(this); }
    ~FakeFileDialogs() override { qv::setFileDialogs(nullptr); }
    FakeFileDialogs(const FakeFileDialogs &) = delete;
    FakeFileDialogs &operator=(const FakeFileDialogs &) = delete;

    QString saveFileName(QWidget *, const qv::FileDialogRequest &request) override { return answer(true, request); }
    QString openFileName(QWidget *, const qv::FileDialogRequest &request) override { return answer(false, request); }

    std::deque<QString> answers;
    std::vector<Asked> asked;

private:
    QString answer(bool save, const qv::FileDialogRequest &request)
    {
        asked.push_back({save, request});
        if (answers.empty()) {
            return {};
        }
        QString next = answers.front();
        answers.pop_front();
        return next;
    }
};

} // namespace qvtest
