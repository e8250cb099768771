// A TCP proxy on loopback that holds every chunk of bytes for a fixed time
// in each direction, as a network between client and server would: for
// measuring what round trips cost a client. Accepts connections until
// killed; prints its port on the first line.
//
//   delay_proxy TARGET_PORT DELAY_MICROSECONDS
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace {

long delayNs = 0;

long long nowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

// One direction: a reader stamps each chunk, a writer sends it when due.
class Direction {
  public:
    Direction(int from, int to) : from_(from), to_(to) {}

    void run() {
        std::thread writer(&Direction::write, this);
        char buffer[65536];
        for (;;) {
            const ssize_t n = read(from_, buffer, sizeof buffer);
            std::lock_guard<std::mutex> lock(mutex_);
            if (n <= 0) {
                ended_ = true;
                ready_.notify_one();
                break;
            }
            queue_.push_back({nowNs() + delayNs, std::string(buffer, n)});
            ready_.notify_one();
        }
        writer.join();
        shutdown(to_, SHUT_WR);
    }

  private:
    struct Chunk {
        long long due;
        std::string bytes;
    };

    void write() {
        for (;;) {
            Chunk chunk;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                ready_.wait(lock, [this] { return !queue_.empty() || ended_; });
                if (queue_.empty()) {
                    return;
                }
                chunk = std::move(queue_.front());
                queue_.pop_front();
            }
            const timespec due{static_cast<time_t>(chunk.due / 1000000000LL),
                               static_cast<long>(chunk.due % 1000000000LL)};
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) != 0) {
            }
            if (send(to_, chunk.bytes.data(), chunk.bytes.size(), MSG_NOSIGNAL) < 0) {
                return;
            }
        }
    }

    int from_;
    int to_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Chunk> queue_;
    bool ended_ = false;
};

void relay(int client, int targetPort) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(targetPort));
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        close(server);
        return;
    }
    const int on = 1;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    setsockopt(server, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Direction up(client, server);
    Direction down(server, client);
    std::thread upstream(&Direction::run, &up);
    down.run();
    upstream.join();
    close(client);
    close(server);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: delay_proxy TARGET_PORT DELAY_MICROSECONDS\n");
        return 2;
    }
    const int target = std::atoi(argv[1]);
    delayNs = std::atol(argv[2]) * 1000L;
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0) {
        return 1;
    }
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    std::printf("%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int client = accept(listener, nullptr, nullptr);
        if (client >= 0) {
            std::thread(relay, client, target).detach();
        }
    }
}
