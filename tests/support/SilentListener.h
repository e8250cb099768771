// A loopback port that takes connections and never answers: proof that a
// run did not (or did) contact the server it stands for.
#pragma once

#include <string>

class SilentListener {
  public:
    SilentListener();
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    std::string portText() const { return std::to_string(port_); }
    // Whether a client has connected since the listener opened.
    bool contacted() const;

  private:
    int listener_ = -1;
    int port_ = 0;
};
