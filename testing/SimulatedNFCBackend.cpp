#include "testing/SimulatedNFCBackend.hpp"

#include "platform/runtime/DispatchQueue.hpp"

namespace ostrel::testing {

using platform::Bytes;
using platform::NFCReaderError;
using platform::NFCTransmission;

std::vector<Bytes> ScriptedISO7816Tag::commands() const {
  std::lock_guard lock(commandsMutex_);
  return commands_;
}

void ScriptedISO7816Tag::transmit(const Bytes& command,
                                  std::function<void(NFCTransmission)> reply) {
  {
    std::lock_guard lock(commandsMutex_);
    commands_.push_back(command);
  }
  reply(card_ ? card_(command) : NFCTransmission::answer({}, 0x6F, 0x00));
}

class SimulatedNFCBackend::Source : public platform::NFCTagSource,
                                    public std::enable_shared_from_this<Source> {
 public:
  Source(std::shared_ptr<platform::DispatchQueue> queue, TagFactory factory,
         std::optional<platform::TimeInterval> delay,
         std::optional<NFCReaderError::Code> connectionError)
      : queue_(std::move(queue)),
        factory_(std::move(factory)),
        delay_(delay),
        connectionError_(connectionError) {}

  void start(Events events) override {
    {
      std::lock_guard lock(mutex_);
      events_ = std::move(events);
      started_ = true;
    }
    if (!delay_) return;
    std::weak_ptr<Source> weak = weak_from_this();
    queue_->asyncAfter(*delay_, [weak] {
      if (auto self = weak.lock()) self->present();
    });
  }

  void present() {
    std::function<void(std::vector<std::shared_ptr<platform::NFCTag>>)> detected;
    {
      std::lock_guard lock(mutex_);
      if (!started_ || stopped_ || !factory_) return;
      detected = events_.detected;
    }
    if (detected) detected(factory_(queue_));
  }

  void connect(const std::shared_ptr<platform::NFCTag>&,
               std::function<void(std::optional<NFCReaderError>)> done) override {
    if (connectionError_) {
      done(NFCReaderError::make(*connectionError_));
    } else {
      done(std::nullopt);
    }
  }

  void stop() override {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }

  bool isOpen() {
    std::lock_guard lock(mutex_);
    return started_ && !stopped_;
  }

 private:
  std::shared_ptr<platform::DispatchQueue> queue_;
  TagFactory factory_;
  std::optional<platform::TimeInterval> delay_;
  std::optional<NFCReaderError::Code> connectionError_;
  std::mutex mutex_;
  Events events_;
  bool started_ = false;
  bool stopped_ = false;
};

SimulatedNFCBackend::TagFactory SimulatedNFCBackend::chips(
    std::vector<std::shared_ptr<SimulatedChip>> chips, int otherTags) {
  return [chips = std::move(chips), otherTags](const std::shared_ptr<platform::DispatchQueue>& q) {
    std::vector<std::shared_ptr<platform::NFCTag>> tags;
    for (const auto& chip : chips) {
      // Entering this session's field powers the chip up afresh: whatever an earlier session
      // left selected or protected is gone.
      chip->reset();
      tags.push_back(std::make_shared<SimulatedChipTag>(chip, q));
    }
    for (int i = 0; i < otherTags; ++i) {
      tags.push_back(std::make_shared<platform::NFCTag>(platform::NFCTagType::miFare));
    }
    return tags;
  };
}

bool SimulatedNFCBackend::readingAvailable() {
  std::lock_guard lock(mutex_);
  return available_;
}

std::shared_ptr<platform::NFCTagSource> SimulatedNFCBackend::makeTagSource(
    std::shared_ptr<platform::DispatchQueue> sessionQueue) {
  std::lock_guard lock(mutex_);
  ++sessionsStarted_;
  auto source =
      std::make_shared<Source>(std::move(sessionQueue), factory_, delay_, connectionError_);
  sources_.push_back(source);
  return source;
}

bool SimulatedNFCBackend::reportsApplicationInvalidation() const {
  std::lock_guard lock(mutex_);
  return reportsApplicationInvalidation_;
}

void SimulatedNFCBackend::setReadingAvailable(bool available) {
  std::lock_guard lock(mutex_);
  available_ = available;
}

void SimulatedNFCBackend::setTags(TagFactory factory) {
  std::lock_guard lock(mutex_);
  factory_ = std::move(factory);
}

void SimulatedNFCBackend::setDetectionDelay(std::optional<platform::TimeInterval> delay) {
  std::lock_guard lock(mutex_);
  delay_ = delay;
}

void SimulatedNFCBackend::setConnectionError(std::optional<NFCReaderError::Code> code) {
  std::lock_guard lock(mutex_);
  connectionError_ = code;
}

void SimulatedNFCBackend::setReportsApplicationInvalidation(bool reports) {
  std::lock_guard lock(mutex_);
  reportsApplicationInvalidation_ = reports;
}

void SimulatedNFCBackend::present() {
  std::vector<std::shared_ptr<Source>> sources;
  {
    std::lock_guard lock(mutex_);
    for (auto& weak : sources_) {
      if (auto source = weak.lock()) sources.push_back(source);
    }
  }
  for (auto& source : sources) source->present();
}

int SimulatedNFCBackend::sessionsStarted() const {
  std::lock_guard lock(mutex_);
  return sessionsStarted_;
}

int SimulatedNFCBackend::sessionsOpen() const {
  std::lock_guard lock(mutex_);
  int open = 0;
  for (const auto& weak : sources_) {
    if (auto source = weak.lock(); source && source->isOpen()) ++open;
  }
  return open;
}

}  // namespace ostrel::testing
