// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include <zlib.h>

namespace prometheus {
class Collectable;
} // namespace prometheus

namespace Tarnwick {

// The metrics page, rendered afresh for each scrape into one buffer sized as the last page was
// (and gzipped into a second), always on a thread of the page's own: what a collection allocates
// for a while then comes and goes in that thread's memory alone, instead of every server thread
// keeping a page's worth of it. Once sent, a large page's buffers and what the collection freed
// go back to the system, so that between scrapes the program holds no such page. One scrape
// renders at a time; others wait their turn, so each gets a page as fresh as its request. Each
// sends its page on its own: a page still being sent to a slow client stays its own, and the next
// scrape renders into a new buffer.
class MetricsPage
{
public:
    // The largest page whose buffers are kept from one scrape to the next (about 6,500 devices).
    static constexpr std::size_t KeptPageBytes = 16 * 1024 * 1024;

    // keptPageBytes: the largest page kept between scrapes (tests let every page go).
    explicit MetricsPage(std::shared_ptr<prometheus::Collectable> collectable,
                         std::size_t keptPageBytes = KeptPageBytes);
    ~MetricsPage();
    MetricsPage(const MetricsPage&) = delete;
    MetricsPage& operator=(const MetricsPage&) = delete;

    // Renders the page, gzipped when asked, and hands it to send before the next scrape may render.
    void serve(bool gzip, const std::function<void(std::string_view)>& send);

private:
    void run();
    // The buffer, or a new one where a scrape still sends it.
    static std::string& writable(std::shared_ptr<std::string>& buffer);
    void render();
    void compress();

    std::shared_ptr<prometheus::Collectable> m_collectable;
    const std::size_t m_keptPageBytes;
    std::mutex m_serving; // held by one scrape from its request until its page is rendered
    std::mutex m_mutex; // guards what follows, between the scrape and the rendering thread
    std::condition_variable m_changed;
    bool m_wanted = false;
    bool m_gzip = false;
    bool m_stopping = false;
    std::shared_ptr<std::string> m_page;
    std::shared_ptr<std::string> m_gzipped;
    std::size_t m_lastSize = 0; // of the last page rendered
    z_stream m_zip = {};
    std::thread m_thread;
};

} // namespace Tarnwick
