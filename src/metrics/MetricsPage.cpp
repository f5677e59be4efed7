// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsPage.h"

#include "ExpositionWriter.h"

#include <prometheus/collectable.h>

#include <algorithm>
#include <malloc.h>
#include <new>

namespace Tarnwick {

MetricsPage::MetricsPage(std::shared_ptr<prometheus::Collectable> collectable, std::size_t keptPageBytes)
    : m_collectable(std::move(collectable))
    , m_keptPageBytes(keptPageBytes)
{
    // Level 1: a page of samples that repeat their names and labels shrinks about tenfold even so,
    // at a fraction of the time the default level takes. 16 over the window bits: a gzip wrapper.
    if (deflateInit2(&m_zip, 1, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    // glibc raises its threshold for mapping a block of its own to the size of each such block
    // freed: after one scrape, the page and the collection's vectors of every later one came from
    // the heap, which held on to them (10,000 devices: 65 MB before, 118 MB after scrapes). Fixed
    // at its first value, a large block is mapped for its use and unmapped when freed.
    ::mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    m_thread = std::thread([this] { run(); });
}

MetricsPage::~MetricsPage()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
    deflateEnd(&m_zip);
}

void MetricsPage::serve(bool gzip, const std::function<void(std::string_view)>& send)
{
    std::shared_ptr<const std::string> page;
    {
        const std::lock_guard serving(m_serving);
        std::unique_lock lock(m_mutex);
        m_wanted = true;
        m_gzip = gzip;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_wanted; });
        page = gzip ? m_gzipped : m_page;
    }
    // Sent with no lock held: a client slow to read keeps its own page, not the next scrape.
    send(*page);
    page.reset();
    // A page of many devices is tens of megabytes, and the collection behind it more: kept between
    // scrapes it would double what the program holds, so it goes back to the system with what
    // the collection freed. A smaller one is kept, and scraped again without the page faults of
    // writing into memory anew (at 2,000 devices 16 ms a scrape, against 76 ms let go each time).
    // Only while no other scrape is between its request and taking its page: the page rendered
    // for one that waits must still be there when it wakes. That scrape lets it go after sending.
    std::unique_lock serving(m_serving, std::try_to_lock);
    if (!serving.owns_lock())
        return;
    std::unique_lock lock(m_mutex);
    if (m_lastSize < m_keptPageBytes)
        return;
    m_page.reset();
    m_gzipped.reset();
    lock.unlock();
    serving.unlock();
    ::malloc_trim(0);
}

void MetricsPage::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_wanted || m_stopping; });
        if (m_stopping)
            return;
        render();
        if (m_gzip)
            compress();
        m_wanted = false;
        m_changed.notify_all();
    }
}

std::string& MetricsPage::writable(std::shared_ptr<std::string>& buffer)
{
    // Copies are taken only under the mutex, which this thread holds: one that is ours alone
    // stays so while it is written.
    if (!buffer || buffer.use_count() > 1)
        buffer = std::make_shared<std::string>();
    return *buffer;
}

void MetricsPage::render()
{
    // Sized as the last page was, plus room to grow, so that it is written without reallocating.
    std::string& page = writable(m_page);
    page.clear();
    page.reserve(m_lastSize + m_lastSize / 8);
    ExpositionWriter(page).write(m_collectable->Collect());
    m_lastSize = page.size();
}

void MetricsPage::compress()
{
    std::string& gzipped = writable(m_gzipped);
    deflateReset(&m_zip);
    m_zip.next_in = reinterpret_cast<Bytef*>(m_page->data());
    m_zip.avail_in = uInt(m_page->size());
    // Grown as the stream needs, not to deflate's bound for the page (about the page's size, all of
    // it written once to make room), which would keep a second page's worth of memory for good.
    std::size_t used = 0;
    for (int status = Z_OK; status != Z_STREAM_END;) {
        if (used == gzipped.size())
            gzipped.resize(std::max<std::size_t>(2 * used, 64 * 1024));
        m_zip.next_out = reinterpret_cast<Bytef*>(gzipped.data() + used);
        m_zip.avail_out = uInt(gzipped.size() - used);
        status = deflate(&m_zip, Z_FINISH);
        used = gzipped.size() - m_zip.avail_out;
    }
    gzipped.resize(used);
}

} // namespace Tarnwick
