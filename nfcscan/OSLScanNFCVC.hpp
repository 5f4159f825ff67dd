#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/OSLConfig.hpp"
#include "core/OSLFlowType.hpp"
#include "core/StepScreen.hpp"
#include "nfc/NFCPassportModel.hpp"
#include "nfc/NfcReader.hpp"
#include "nfc/PassportReaderError.hpp"
#include "platform/foundation/Date.hpp"
#include "platform/foundation/JSON.hpp"
#include "platform/runtime/Timer.hpp"
#include "platform/ui/ImageView.hpp"
#include "platform/ui/Label.hpp"
#include "ui/BaseViewController.hpp"
#include "ui/OSLMainColorLabel.hpp"
#include "ui/OstrelButton.hpp"

namespace ostrel {

class OSLScanMRZVC;

// The chip-reading step of the chip flows. It tells the user how to hold the card, counts down
// the configured scan time, builds the access key from an MRZ text (the flow's, the
// configuration's, the server's or a camera scan's) or from the QR result, reads the chip once
// per tap, hands the chip's files to the host's processor, the host's handler or the server,
// and then goes on: the next step (`onNext`), the face check, the liveness step
// (`onNeedLiveness`) or, in the chip-only flow, the confirmation that ends the session.
//
// A key the chip refuses is not tried again: its source is dropped (the MRZ text cleared, the
// QR result marked refused) and the next source is used. Only one read is open at a time, and
// only the outcome of the screen's current attempt is acted on. A host that never answers its
// processor or chip-data handler leaves the loading indicator up: answering is the host's part.
//
// Made by `create`; everything runs on the main queue except the reader's completion, which
// only reports the read's event where it arrives and moves the rest to the main queue.
class OSLScanNFCVC : public BaseViewController {
 public:
  struct State {
    int numberOfGuide = 4;
    // False from the start of a read until its outcome has been taken in.
    bool isClosedPopup = true;
    // True while a read or its hand-off runs: the countdown holds still.
    bool isWaitingProcess = false;
    std::shared_ptr<OSLScanMRZVC> scanMrzVC;
    std::optional<std::string> mrz;
    std::optional<std::string> faceData;
    OSLFlowType flowType = OSLFlowType::nfc_ekyc();
    std::shared_ptr<NfcReader> nfcReader;
    std::shared_ptr<platform::Timer> timerCheckTimeout;
    std::optional<platform::Date> backgroundDate;
    int countdown = 0;
  };

  // Where the key of the current attempt came from.
  enum class KeySource { mrzText, qrCode };

  // Delays after a read's outcome: the flags change, then a refused key's follow-up runs.
  static constexpr double kAfterReadDelay = 2.45;
  static constexpr double kRefusedKeyFollowUpDelay = 2.5;
  static constexpr const char* kScreenName = "OSL_SCREEN_NFC";
  static constexpr const char* kTimeoutMessage = "ERROR_NFC_TIMEOUT";

  static std::shared_ptr<OSLScanNFCVC> create(OSLFlowType flowType);

  // Outlets.
  std::shared_ptr<platform::Label> lblTitle;
  std::shared_ptr<platform::Label> lblError;
  std::shared_ptr<OSLMainColorLabel> lblCheckListTitle;
  std::vector<std::shared_ptr<platform::Label>> listLblCheckList;
  std::vector<std::shared_ptr<platform::ImageView>> checkmarkIcons;
  std::shared_ptr<OstrelButton> btnSkip;
  std::shared_ptr<OstrelButton> btnScanNFC;
  std::shared_ptr<platform::View> stvTutorial;
  std::shared_ptr<platform::View> guideNFCPositionView;
  std::shared_ptr<OSLMainColorLabel> antennaLabel;
  std::shared_ptr<platform::ImageView> nfcLocationIcon;

  State state;
  // Runs the face step and then the continuation; empty for a configured step.
  LivenessStarter onNeedLiveness;

  // Back to a fresh screen's state for a new run of configured steps: a new attempt (an open
  // read is ended, late outcomes ignored), the inputs taken again from the configuration, and
  // the per-session set-up run again once the view exists. The reader is kept.
  void resetForNewRun();

  void setupUI() override;
  void viewWillAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void viewDidDisappear(bool animated) override;
  void willResignActiveNotification() override;
  void didBecomeActiveNotification() override;
  void closeTapped() override;

  // Interface actions.
  void btnScanClicked();
  void btnSkipClicked();
  void showTutorial();

  virtual void handleScanTap();
  virtual void tickCountdown();
  virtual void pauseCountdown();
  virtual void resumeCountdown();
  virtual void startCountdown();
  virtual void fetchMrzIfNeeded();
  virtual void startChipReading();
  virtual void openMRZScanner();
  virtual void handOffChipData(const platform::JSON& chipData);
  virtual void continueAfterVerification(bool isFaceMatched);
  virtual void checkSelfie(std::function<void()> completion);
  virtual void confirmNfc();
  virtual void handleError(const std::string& message, int code, bool isServerError);

  bool hasMrzAndFaceData() const;
  bool isNFCFlow() const;
  // Whether the QR result of the last refused QR key is marked.
  bool isQRResultRefused() const { return qrRefused_; }
  int attempt() const { return attempt_; }

 private:
  struct KeyParts {
    std::string documentNumber;
    std::string dateOfBirth;
    std::string dateOfExpiry;
    KeySource source = KeySource::mrzText;
  };
  enum class Road { processor, handler, server };

  void resolveInputs();
  void applyAvailability();
  void stopTimer();
  void restartTimer();
  std::optional<KeyParts> keyFromMrzText();
  std::optional<KeyParts> keyFromQRResult() const;
  void readFinished(int attempt, std::shared_ptr<NFCPassportModel> model,
                    const platform::JSON& listen);
  void keyRefused(int attempt, KeySource source);
  void refusedKeyFollowUp(int attempt, KeySource source);
  void handOffAnswered(Road road, const OSLConfig::Result& result);
  void showRefreshToast();
  // The session this screen belongs to is over (closed, or another one running).
  bool sessionEnded() const;
  // Ends the open read, if any, so that nothing of it reaches the screen.
  void endOpenRead();
  // The controller alerts of this screen go on: the top-most one presented above it.
  std::shared_ptr<platform::ViewController> topPresenter();

  int attempt_ = 0;
  bool qrRefused_ = false;
  KeySource keySource_ = KeySource::mrzText;
};

}  // namespace ostrel
