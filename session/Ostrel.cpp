#include "session/Ostrel.hpp"

#include <utility>

#include "core/CurrentConfig.hpp"
#include "core/Localization.hpp"
#include "core/OSLRawDataProcessor.hpp"
#include "core/OstrelVersion.hpp"
#include "core/ScreenFactories.hpp"
#include "network/OSLCrypto.hpp"
#include "platform/foundation/Debug.hpp"
#include "platform/runtime/DispatchQueue.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/FlowLauncher.hpp"
#include "session/HelpersAlerts.hpp"
#include "session/LocalizationSync.hpp"
#include "ui/OSLProgressHUD.hpp"

namespace ostrel {
namespace {

using platform::DispatchQueue;
using platform::NavigationController;
using platform::ViewController;

// A dismissal is refused while a presentation transition runs; such a close waits for the
// transition and tries again, a bounded number of times, so a close never hangs.
constexpr int kDismissAttempts = 20;

void retryLater(std::function<void()> attempt) {
  DispatchQueue::main()->asyncAfter(ViewController::kDefaultTransitionDuration, std::move(attempt));
}

void dismissNavigation(std::shared_ptr<NavigationController> navi, std::function<void()> done,
                       int attempt) {
  if (!navi->presentingViewController()) {
    // Never shown (or already gone): nothing to take off screen.
    DispatchQueue::main()->async(std::move(done));
    return;
  }
  if (navi->dismiss(true, done)) return;
  if (attempt + 1 >= kDismissAttempts) {
    platform::debugLog("close: the navigation controller could not be dismissed");
    DispatchQueue::main()->async(std::move(done));
    return;
  }
  retryLater([navi = std::move(navi), done = std::move(done), attempt]() mutable {
    dismissNavigation(std::move(navi), std::move(done), attempt + 1);
  });
}

void dismissSession(std::shared_ptr<NavigationController> navi, std::function<void()> done,
                    int attempt) {
  auto presented = navi->presentedViewController();
  if (!presented) {
    dismissNavigation(std::move(navi), std::move(done), attempt);
    return;
  }
  // What the session presents (an alert, a sheet, and whatever that presents in turn) goes
  // first, then the session itself. Asked of the session, the dismissal takes the whole stack
  // above it; asked of the first presented controller it would leave that one up.
  if (navi->dismiss(true, [navi, done, attempt] { dismissNavigation(navi, done, attempt); })) {
    return;
  }
  if (attempt + 1 >= kDismissAttempts) {
    platform::debugLog("close: what the session presents could not be dismissed");
    dismissNavigation(std::move(navi), std::move(done), attempt);
    return;
  }
  retryLater([navi = std::move(navi), done = std::move(done), attempt]() mutable {
    dismissSession(std::move(navi), std::move(done), attempt + 1);
  });
}

// The host hears that the session was cancelled: through its event handler when it has one,
// else through its cancel-session handler.
void reportCancel(const OSLConfig& config) {
  if (config.eventHandler) {
    config.eventHandler(OSLConfig::Event::cancelled);
  } else if (config.cancelSessionHandler) {
    config.cancelSessionHandler();
  }
}

}  // namespace

std::shared_ptr<Ostrel> Ostrel::shared() {
  static const std::shared_ptr<Ostrel> instance = std::make_shared<Ostrel>();
  return instance;
}

std::shared_ptr<OSLConfig> Ostrel::config() const {
  return currentConfig();
}

void Ostrel::setConfig(std::shared_ptr<OSLConfig> config) {
  // The previous configuration may hold the last reference to host handlers; it is released
  // here, outside any lock.
  setCurrentConfig(std::move(config));
}

OSLFlowType Ostrel::flowType() const {
  std::lock_guard lock(mutex_);
  return flowType_;
}

void Ostrel::setFlowType(OSLFlowType flowType) {
  std::lock_guard lock(mutex_);
  flowType_ = std::move(flowType);
}

std::shared_ptr<NavigationController> Ostrel::naviViewController() const {
  std::lock_guard lock(mutex_);
  return navi_;
}

void Ostrel::setNaviViewController(std::shared_ptr<NavigationController> navi) {
  std::lock_guard lock(mutex_);
  if (navi) ++sessionGeneration_;
  navi_ = std::move(navi);
}

void Ostrel::close(bool isCancel, std::function<void()> completion) {
  if (!platform::isMainQueue()) {
    DispatchQueue::main()->async([isCancel, completion = std::move(completion)]() mutable {
      Ostrel::shared()->close(isCancel, std::move(completion));
    });
    return;
  }
  std::shared_ptr<NavigationController> navi;
  {
    std::lock_guard lock(mutex_);
    navi = std::exchange(navi_, nullptr);
  }
  if (!navi) return;
  auto done = [isCancel, completion = std::move(completion)]() mutable {
    Ostrel::shared()->finishClose(isCancel, std::move(completion));
  };
  dismissSession(std::move(navi), std::move(done), 0);
}

void Ostrel::finishClose(bool isCancel, std::function<void()> completion) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  {
    // The session is over: a later restart must not replay its host's completion. A restart
    // took its own copy before closing.
    std::lock_guard lock(mutex_);
    lastLaunch_ = LastLaunch{};
  }
  if (isCancel) reportCancel(*config());
  std::uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    generation = sessionGeneration_;
  }
  if (completion) completion();
  bool sessionStarted;
  {
    std::lock_guard lock(mutex_);
    sessionStarted = sessionGeneration_ != generation;
  }
  // A completion that starts the next session (a restart) keeps that session's configuration.
  if (!sessionStarted) setConfig(nullptr);
}

void Ostrel::run(const std::string& flowName, std::shared_ptr<OSLConfig> config) {
  run(flowName, std::move(config), nullptr);
}

void Ostrel::run(const std::string& flowName, std::shared_ptr<OSLConfig> config,
                 std::shared_ptr<OSLRawDataProcessor> processor) {
  auto flow = OSLFlowType::fromKey(flowName);
  if (!flow) {
    platform::debugLog("run: no flow named \"" + flowName + "\"");
    return;
  }
  run(std::move(*flow), std::move(config), std::move(processor));
}

void Ostrel::run(OSLFlowType flowType, std::shared_ptr<OSLConfig> config) {
  run(std::move(flowType), std::move(config), nullptr);
}

void Ostrel::run(OSLFlowType flowType, std::shared_ptr<OSLConfig> config,
                 std::shared_ptr<OSLRawDataProcessor> processor) {
  if (!platform::isMainQueue()) {
    DispatchQueue::main()->async([flowType = std::move(flowType), config = std::move(config),
                                  processor = std::move(processor)]() mutable {
      Ostrel::shared()->run(std::move(flowType), std::move(config), std::move(processor));
    });
    return;
  }
  if (naviViewController()) {
    platform::debugLog("run: a session is already on screen");
    return;
  }
  setFlowType(flowType);
  if (config) setConfig(config);
  if (processor) this->config()->rawDataProcessor = processor;
  {
    std::lock_guard lock(mutex_);
    lastLaunch_ = LastLaunch{};
  }
  FlowLauncher::start(flowType);
}

void Ostrel::run(std::shared_ptr<OSLConfig> config, std::shared_ptr<ViewController> from,
                 bool animated, std::function<void()> completion) {
  if (!platform::isMainQueue()) {
    DispatchQueue::main()->async([config = std::move(config), from = std::move(from), animated,
                                  completion = std::move(completion)]() mutable {
      Ostrel::shared()->run(std::move(config), std::move(from), animated, std::move(completion));
    });
    return;
  }
  // Whatever happens, the host hears back: a refused call runs only its completion.
  if (!config || naviViewController()) {
    platform::debugLog("run: no configuration, or a session is already on screen");
    if (completion) completion();
    return;
  }
  if (config->steps.empty()) {
    // Nothing to show: the session ends as soon as it starts, as after its last step.
    platform::debugLog("run: the configuration has no steps");
    reportCancel(*config);
    if (config->resultHandler) config->resultHandler(nullptr);
    if (completion) completion();
    return;
  }
  setConfig(config);
  // The steps are no built-in flow: the flow type an earlier run left must not change what a
  // step screen does (after a passport run, a back capture step would take itself for the
  // passport page and hand the back's picture to the front's handler).
  setFlowType(OSLFlowType::ekyc());
  {
    std::lock_guard lock(mutex_);
    lastLaunch_ = LastLaunch{true, from, animated, completion};
  }
  if (!FlowLauncher::startConfiguredSteps(config, std::move(from), animated, completion)) {
    {
      std::lock_guard lock(mutex_);
      lastLaunch_ = LastLaunch{};
    }
    if (completion) completion();
  }
}

void Ostrel::restart() {
  if (!platform::isMainQueue()) {
    DispatchQueue::main()->async([] { Ostrel::shared()->restart(); });
    return;
  }
  if (!naviViewController()) return;
  // Taken now: `close` replaces the configuration once the session is off screen.
  auto config = this->config();
  auto flow = flowType();
  auto processor = config->rawDataProcessor;
  LastLaunch launch;
  {
    std::lock_guard lock(mutex_);
    launch = lastLaunch_;
  }
  std::function<void()> relaunch;
  if (launch.configuredSteps) {
    relaunch = [config, launch] {
      Ostrel::shared()->run(config, launch.from.lock(), launch.animated, launch.completion);
    };
  } else {
    relaunch = [config, flow, processor] { Ostrel::shared()->run(flow, config, processor); };
  }
  close(true, std::move(relaunch));
}

std::string Ostrel::getSDKVersion() const {
  return sdkVersion();
}

std::future<void> Ostrel::syncLocalize(const std::string& baseUrl, const std::string& language,
                                       const std::string& customer) {
  return ::ostrel::syncLocalize(baseUrl, language, customer);
}

void Ostrel::syncLocalize(const std::string& baseUrl, const std::string& language,
                          const std::string& customer, std::function<void()> completion) {
  ::ostrel::syncLocalize(baseUrl, language, customer, std::move(completion));
}

std::string Ostrel::osl_localize(const std::string& key) const {
  return ::ostrel::osl_localize(key);
}

void Ostrel::showResult(std::shared_ptr<OstrelResult> result) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  FlowLauncher::pushResultScreen(std::move(result), ScreenFactories::shared().ekycResult);
}

void Ostrel::showResultNfc(std::shared_ptr<OstrelResult> result) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  FlowLauncher::pushResultScreen(std::move(result), ScreenFactories::shared().nfcResult);
}

void Ostrel::pushResultScreen(
    std::shared_ptr<OstrelResult> result,
    const std::function<std::shared_ptr<ViewController>(std::shared_ptr<OstrelResult>)>& creator) {
  FlowLauncher::pushResultScreen(std::move(result), creator);
}

std::string Ostrel::encrypt(std::string_view data) const {
  return OSLCrypto::encrypt(data);
}

void Ostrel::showAlert(int alertType, int errorCode, platform::ImagePtr titleIcon,
                       std::optional<std::string> title, std::optional<std::string> message,
                       std::optional<std::string> titleCancel,
                       std::optional<std::string> titleConfirm, std::function<void()> cancelAction,
                       std::function<void()> confirmAction,
                       std::shared_ptr<ViewController> fromVC) {
  platform::assertOnQueue(platform::DispatchQueue::main());
  Helpers::showAlert(alertType, errorCode, std::move(titleIcon), std::move(title),
                     std::move(message), std::move(titleCancel), std::move(titleConfirm),
                     std::move(cancelAction), std::move(confirmAction), std::move(fromVC));
}

void Ostrel::showLoading(std::shared_ptr<ViewController> fromVC, std::optional<std::string> text,
                         bool interaction) {
  Helpers::showLoading(std::move(fromVC), std::move(text), std::nullopt, interaction);
}

void Ostrel::hideLoading() {
  const bool builtInShown = Helpers::takeBuiltInLoadingShown();
  if (auto handler = config()->hideLoadingHandler) {
    if (platform::isMainQueue()) {
      handler();
    } else {
      DispatchQueue::main()->async(std::move(handler));
    }
    // The host's handler only knows of what its own show handler put up.
    if (builtInShown) OSLProgressHUD::dismiss();
    return;
  }
  OSLProgressHUD::dismiss();
}

void closeSessionCancelled(std::function<void()> completion) {
  Ostrel::shared()->close(true, std::move(completion));
}

}  // namespace ostrel
