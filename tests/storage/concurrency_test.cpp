#include "ReportBuilder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <mutex>
#include <string>
#include <thread>

using namespace qrp;
using namespace qrp::test;

// One thread produces pages while another reads whatever pages exist; every page read
// is complete and correct. Run under ThreadSanitizer in CI.
TEST(PageListThreads, OneProducerAndOneReader)
{
    for (const bool compressed : {false, true}) {
        auto list = BuildReport(0, compressed, 20000, false);
        constexpr int kPages = 150;
        std::vector<std::vector<std::uint8_t>> images;
        for (int k = 1; k <= kPages; ++k)
            images.push_back(PageImage(k));
        std::atomic<bool> done{false};
        std::atomic<int> reads{0};
        std::atomic<int> wrong{0};
        std::mutex errorLock;
        std::string error;

        std::thread reader([&] {
            std::mt19937 rng(5);
            while (!done.load()) {
                const int count = list->Count();
                if (count == 0)
                    continue;
                const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
                try {
                    auto pic = list->ReadPage(n);
                    if (!pic || pic->Bytes() != images[static_cast<std::size_t>(n - 1)])
                        ++wrong;
                } catch (const std::exception& e) {
                    std::lock_guard<std::mutex> g(errorLock);
                    error = e.what();
                    ++wrong;
                }
                ++reads;
            }
        });
        for (int k = 1; k <= kPages; ++k) {
            TMetafile m;
            m.LoadFromBytes(images[static_cast<std::size_t>(k - 1)]);
            list->AppendPage(m);
            if (k % 10 == 0)
                std::this_thread::yield();
        }
        list->Complete();
        while (reads.load() < 50)
            std::this_thread::yield();
        done = true;
        reader.join();
        EXPECT_EQ(wrong.load(), 0) << error;
        EXPECT_FALSE(list->Storage()->Resident());
        for (int k = 1; k <= kPages; ++k)
            ASSERT_EQ(list->ReadPage(k)->Bytes(), images[static_cast<std::size_t>(k - 1)]);
    }
}
