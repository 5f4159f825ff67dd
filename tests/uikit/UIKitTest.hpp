#pragma once

#include "core/Localization.hpp"
#include "platform/foundation/Make.hpp"
#include "platform/media/Image.hpp"
#include "platform/runtime/Application.hpp"
#include "platform/ui/NavigationController.hpp"
#include "session/Ostrel.hpp"
#include "testing/ScreenTest.hpp"
#include "testing/ScriptedUser.hpp"
#include "testing/TestHelpers.hpp"
#include "ui/OSLProgressHUD.hpp"
#include "ui/ResourceBundle.hpp"

namespace ostrel::uikit_test {

using namespace platform;

using testing::LoggedEvent;

// The UI kit's tests run on the shared library-screen fixture.
using UIKitTest = testing::LibraryUITest;

}  // namespace ostrel::uikit_test
