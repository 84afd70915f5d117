#include "tools/plughost/check_context.h"

#include <algorithm>
#include <utility>

#include "tools/plughost/handle_key_sweep.h"

namespace plughost {

CheckContext::CheckContext(const CommandLine& commandLine, const std::string& path,
                           std::uint32_t seed)
    : commandLine_(commandLine),
      seed_(seed),
      plugin_(path, commandLine.timeoutMs, hostkit::KeyboardCapture::Delivery::Swallow) {
  image_ = pe_image::ReadPeImage(plugin_.path(), imageError_);
}

void CheckContext::Begin(const std::string& check) {
  current_ = check;
}

void CheckContext::Report(Verdict verdict, const std::string& evidence) {
  findings_.push_back({verdict, evidence});
}

std::vector<Finding> CheckContext::TakeFindings() {
  return std::exchange(findings_, {});
}

bool CheckContext::TargetPresent() const {
  return FindWindowA(commandLine_.targetClass.c_str(), nullptr) != nullptr;
}

void CheckContext::FreshLoad() {
  plugin_.EndWorker();
  std::string error;
  if (!plugin_.Load(error)) throw PluginLost(error, {});
}

const std::vector<HandleKeyCall>& CheckContext::HandledWithTarget() {
  if (!handled_) {
    // Quietly: its findings belong to the check of its own. Those of the check that asked are
    // kept, whatever happens to the sweep.
    struct Keep {
      CheckContext& context;
      std::vector<Finding> kept;
      ~Keep() { context.findings_ = std::move(kept); }
    } keep{*this, TakeFindings()};
    FreshLoad();
    const hostkit::StandInWindow target = Target();
    std::vector<HandleKeyCall> calls = SweepCalls();
    std::erase_if(calls, [&](const HandleKeyCall& call) {
      return std::find(lostIn.begin(), lostIn.end(), call) != lostIn.end();
    });
    handled_ = SweepHandleKey(*this, calls);
  }
  return *handled_;
}

}  // namespace plughost
