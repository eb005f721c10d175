#include "platform/WinBackgroundWork.h"

#include "platform/WinLate.h"

namespace setup::win {

void BackgroundWork::Start(HWND window, std::function<void()> work, std::function<void()> done)
{
    if (m_work) return;
    m_work = std::make_unique<Work>(Work{std::move(work), std::move(done), window, nullptr});
    m_thread.reset(::CreateThread(nullptr, 0, &BackgroundWork::Thread, m_work.get(), 0, nullptr));
    if (!m_thread) Thread(m_work.get());  // no thread to be had: the work runs here
}

DWORD WINAPI BackgroundWork::Thread(void* param)
{
    auto* work = static_cast<Work*>(param);
    try {
        work->work();
    } catch (...) {
        work->error = std::current_exception();
    }
    ::PostMessageW(work->window, kDone, 0, 0);
    return 0;
}

void BackgroundWork::Wait()
{
    if (m_thread) ::WaitForSingleObject(m_thread.get(), INFINITE);
    m_thread.reset();
}

void BackgroundWork::Finish()
{
    Wait();
    const std::unique_ptr<Work> work = std::move(m_work);
    if (!work) return;
    if (work->error) std::rethrow_exception(work->error);
    work->done();
}

void BackgroundWork::HoldSessionEnd(HWND window, bool hold)
{
    const auto create = Window().shutdownBlockReasonCreate;
    const auto destroy = Window().shutdownBlockReasonDestroy;
    if (hold && create) create(window, L"Setup is installing a driver.");
    if (!hold && destroy) destroy(window);
}

}  // namespace setup::win
