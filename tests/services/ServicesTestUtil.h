// Helpers of the services tests: a private settings folder and answering modal dialogs.
#pragma once

#include "TestProfile.h"
#include "services/osDialogHooks.h"

namespace svctest {

using Profile = testutil::AppDataProfile;
using testutil::ReadFile;
using testutil::WriteFile;
using ModalAnswer = testutil::ModalHookAnswer;

}  // namespace svctest
