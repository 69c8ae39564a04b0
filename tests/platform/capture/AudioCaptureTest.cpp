#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "SoundServer.h"
#include "platform/capture/AudioCapture.h"
#include "platform/capture/CaptureDevices.h"

namespace pelliqo {
namespace {

std::vector<CapturedAudio> capture(AudioCapture& mic, std::size_t count) {
    SerialQueue queue("pelliqo.audio");
    std::mutex lock;
    std::vector<CapturedAudio> buffers;
    std::promise<void> enough;
    mic.start(queue, [&](const CapturedAudio& audio) {
        std::lock_guard guard(lock);
        buffers.push_back(audio);
        if (buffers.size() == count) enough.set_value();
    });
    const bool got =
        enough.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    mic.stop();
    std::promise<void> drained;
    queue.async([&] { drained.set_value(); });
    drained.get_future().wait();
    EXPECT_TRUE(got);
    std::lock_guard guard(lock);
    return buffers;
}

TEST(AudioCapture, ASoundServerSourceIsListedAndRecords) {
    test::SoundServer server;
    if (!server.running()) GTEST_SKIP() << "pulseaudio is not installed";
    ASSERT_TRUE(soundServerRuns());
    const auto microphones = listMicrophones();
    ASSERT_EQ(microphones.size(), 1u);
    EXPECT_EQ(microphones[0].id, "testmic");
    EXPECT_EQ(defaultMicrophone(), "testmic");
    auto mic = AudioCapture::open(microphoneSource("testmic"));
    ASSERT_TRUE(mic) << mic.error().description;
    const auto buffers = capture(*mic.value(), 5);
    ASSERT_GE(buffers.size(), 5u);
    EXPECT_EQ(buffers[0].channelPower.size(), 2u);
    EXPECT_EQ(buffers[0].channelPower[0], -160.0f);  // a null source is silent
}

}  // namespace
}  // namespace pelliqo
