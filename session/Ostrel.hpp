#pragma once

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/CloseSession.hpp"
#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"

namespace ostrel::platform {
class NavigationController;
class ViewController;
}  // namespace ostrel::platform

namespace ostrel {

class OSLRawDataProcessor;
class OstrelResult;

// The library's one shared instance: it starts, restarts and ends sessions and holds the
// session's navigation controller and flow type. The configuration itself lives in
// `core/CurrentConfig.hpp`, which the facade writes and everything below it reads.
class Ostrel {
 public:
  static std::shared_ptr<Ostrel> shared();

  Ostrel() = default;
  Ostrel(const Ostrel&) = delete;
  Ostrel& operator=(const Ostrel&) = delete;

  // Never null: a default configuration until the host sets one.
  std::shared_ptr<OSLConfig> config() const;
  // A null configuration puts a fresh default one in its place.
  void setConfig(std::shared_ptr<OSLConfig> config);

  OSLFlowType flowType() const;
  void setFlowType(OSLFlowType flowType);

  // The library's navigation controller while a session is on screen; null otherwise. For the
  // library's screens, not for the host.
  std::shared_ptr<platform::NavigationController> naviViewController() const;
  // Used by the flow launcher when it starts a session.
  void setNaviViewController(std::shared_ptr<platform::NavigationController> navi);

  // ---------------------------------------------------------------- running a flow
  // Everything below runs on the main queue; called from another queue it moves there first.
  // Runs a built-in flow by name ("ekyc", "nfc_ekyc", "nfc_only", "passport", in any case);
  // any other name starts nothing.
  void run(const std::string& flowName, std::shared_ptr<OSLConfig> config);
  void run(const std::string& flowName, std::shared_ptr<OSLConfig> config,
           std::shared_ptr<OSLRawDataProcessor> processor);
  // Stores the flow, the configuration (when given) and the processor (when given), and
  // presents the flow's first screen in a new navigation controller, animated and full-screen
  // over the top-most presented controller of the key window. Nothing starts while a session
  // is on screen.
  void run(OSLFlowType flowType, std::shared_ptr<OSLConfig> config);
  void run(OSLFlowType flowType, std::shared_ptr<OSLConfig> config,
           std::shared_ptr<OSLRawDataProcessor> processor);
  // Runs the configuration's own steps, presented from `from` (the top-most presented
  // controller of the key window when null). After the last step the session closes as
  // cancelled, the result handler gets no result, then `completion` runs. Every step screen is
  // taken back to a fresh state before it is shown. Without steps the same three things happen
  // at once. A refused call (no configuration, a session already on screen, nothing to present
  // on) starts nothing and only runs `completion`.
  void run(std::shared_ptr<OSLConfig> config, std::shared_ptr<platform::ViewController> from,
           bool animated, std::function<void()> completion = {});
  // Closes the session as cancelled, then runs the same flow (or the same configured steps)
  // again with the configuration, flow type and processor it had when `restart` was called.
  // Without a session on screen nothing happens, as with `close`.
  void restart();

  std::shared_ptr<OSLConfig> getConfig() const { return config(); }
  OSLFlowType getFlowType() const { return flowType(); }
  // The resource bundle's short version string, else "2.8.3".
  std::string getSDKVersion() const;

  // The language and configuration sync for the current configuration's token (see
  // `session/LocalizationSync.hpp`); the completion form calls back on the main queue.
  std::future<void> syncLocalize(const std::string& baseUrl, const std::string& language,
                                 const std::string& customer);
  void syncLocalize(const std::string& baseUrl, const std::string& language,
                    const std::string& customer, std::function<void()> completion);
  std::string osl_localize(const std::string& key) const;

  // Pushes the ID result screen / the chip result screen for `result` (the reasons-only
  // screen when the configuration asks for it); dropped without a session on screen.
  void showResult(std::shared_ptr<OstrelResult> result);
  void showResultNfc(std::shared_ptr<OstrelResult> result);
  void showEKYCResultScreen(std::shared_ptr<OstrelResult> result) { showResult(std::move(result)); }
  void showNfcResultScreen(std::shared_ptr<OstrelResult> result) {
    showResultNfc(std::move(result));
  }
  static void pushResultScreen(
      std::shared_ptr<OstrelResult> result,
      const std::function<std::shared_ptr<platform::ViewController>(std::shared_ptr<OstrelResult>)>&
          creator);

  // The library's payload cipher (lower-case hex; "" when the cipher fails).
  std::string encrypt(std::string_view data) const;

  // Ends the session: dismisses what the navigation controller presents, then the navigation
  // controller itself (both animated), and forgets it. Once the dismissal is done: when
  // `isCancel`, the host hears of the cancel (event handler with `cancelled`, else the
  // cancel-session handler); then `completion` runs, still seeing the session's handlers; then
  // the configuration is replaced by a fresh default one, unless the completion started a new
  // session. Without a navigation controller nothing happens and `completion` does not run.
  // Called from another queue, it moves to the main queue first.
  void close(bool isCancel, std::function<void()> completion = {});

  // ---------------------------------------------------------------- alerts and loading
  // The host's door to the library's alert dialog and loading indicator; they forward to the
  // `Helpers` alert and loading functions (see `session/HelpersAlerts.hpp`).
  void showAlert(int alertType, int errorCode = 0, platform::ImagePtr titleIcon = nullptr,
                 std::optional<std::string> title = std::nullopt,
                 std::optional<std::string> message = std::nullopt,
                 std::optional<std::string> titleCancel = std::nullopt,
                 std::optional<std::string> titleConfirm = std::nullopt,
                 std::function<void()> cancelAction = {}, std::function<void()> confirmAction = {},
                 std::shared_ptr<platform::ViewController> fromVC = nullptr);
  // Any thread.
  void showLoading(std::shared_ptr<platform::ViewController> fromVC = nullptr,
                   std::optional<std::string> text = std::nullopt, bool interaction = false);
  // The host's hide-loading handler when the configuration has one, else hides the indicator;
  // the built-in indicator, when the library showed it, is hidden either way. Any thread; the
  // host's handler runs on the main queue.
  void hideLoading();

 private:
  void finishClose(bool isCancel, std::function<void()> completion);
  // How the last session was started, to start it again.
  struct LastLaunch {
    bool configuredSteps = false;
    std::weak_ptr<platform::ViewController> from;
    bool animated = true;
    std::function<void()> completion;
  };
  LastLaunch lastLaunch_;

  mutable std::mutex mutex_;
  std::shared_ptr<platform::NavigationController> navi_;
  // Bumped by every session start, so a close can tell whether its completion started one.
  std::uint64_t sessionGeneration_ = 0;
  OSLFlowType flowType_ = OSLFlowType::ekyc();
};

}  // namespace ostrel
