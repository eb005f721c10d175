// The window for the unit tests: remembers geometry, texts, messages and
// the end, and runs the background work when told.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/Form.h"

namespace setup::test {

// The window: remembers geometry, texts, messages and the end.
class FakeForm : public Form {
public:
    explicit FakeForm(const FormDesign& design) : scaleWidth(design.scaleWidth)
    {
        rects[kFormId] = {0, 0, design.scaleWidth, design.scaleHeight};
        for (const auto& control : design.controls) rects[control.id] = control.rect;
    }

    std::map<ControlId, Twips> rects;
    std::map<ControlId, std::wstring> texts;
    double scaleWidth;
    struct Message {
        std::wstring text;
        MessageIcon icon;
    };
    std::vector<Message> messages;
    std::vector<std::wstring> log;  // the calls in order
    bool ended = false;
    int exitCode = -1;

    Twips Geometry(ControlId control) const override { return rects.at(control); }
    void Move(ControlId control, const Twips& rect) override { rects[control] = rect; }
    double ScaleWidth() const override { return scaleWidth; }
    void SetText(ControlId control, const std::wstring& text) override
    {
        texts[control] = text;
        log.push_back(L"text");
    }
    void ShowMessage(const std::wstring& text, MessageIcon icon) override
    {
        messages.push_back({text, icon});
        log.push_back(L"message");
    }
    // Posted work runs at once, as on the form's own thread.
    void Post(std::function<void()> fn) override
    {
        log.push_back(L"post");
        fn();
    }
    std::map<ControlId, bool> allowedWhileBusy;
    void AllowWhileBusy(ControlId control, bool allowed) override { allowedWhileBusy[control] = allowed; }
    // The work runs at once, or, with deferWork, when the test says.
    bool deferWork = false;
    std::vector<std::pair<std::function<void()>, std::function<void()>>> pendingWork;
    void RunInBackground(std::function<void()> work, std::function<void()> done) override
    {
        log.push_back(L"work");
        if (deferWork) {
            pendingWork.emplace_back(std::move(work), std::move(done));
            return;
        }
        work();
        done();
    }
    void FinishWork()
    {
        auto pending = std::move(pendingWork);
        for (auto& [work, done] : pending) {
            work();
            done();
        }
    }
    void End(int code) override
    {
        ended = true;
        exitCode = code;
        log.push_back(L"end");
    }
};

}  // namespace setup::test
