#pragma once

// What one check of plughost check works with: the plug-in in its session, the options, the
// file read once, what earlier checks found, and the findings it reports.

#include <optional>
#include <string>
#include <vector>

#include "tools/hostkit/stand_in_window.h"
#include "tools/pe_image/pe_image.h"
#include "tools/plughost/check_report.h"
#include "tools/plughost/commands.h"
#include "tools/plughost/plugin_session.h"

namespace plughost {

class CheckContext {
 public:
  CheckContext(const CommandLine& commandLine, const std::string& path, std::uint32_t seed);

  [[nodiscard]] const CommandLine& options() const { return commandLine_; }
  [[nodiscard]] std::uint32_t seed() const { return seed_; }
  PluginSession& plugin() { return plugin_; }

  // The check running and its findings so far.
  void Begin(const std::string& check);
  [[nodiscard]] const std::string& current() const { return current_; }
  void Report(Verdict verdict, const std::string& evidence);
  void Pass(const std::string& evidence) { Report(Verdict::Pass, evidence); }
  void Warn(const std::string& evidence) { Report(Verdict::Warn, evidence); }
  void Fail(const std::string& evidence) { Report(Verdict::Fail, evidence); }
  void Note(const std::string& evidence) { Report(Verdict::Note, evidence); }
  std::vector<Finding> TakeFindings();

  // The file's headers; null, with imageError() saying why, when it is no PE image.
  [[nodiscard]] const pe_image::PeImage* image() const { return image_ ? &*image_ : nullptr; }
  [[nodiscard]] const std::string& imageError() const { return imageError_; }

  // The HandleKey calls the plug-in acts on with the target open: the sweep's, or those of a
  // sweep made quietly for the asking when that check did not run.
  const std::vector<HandleKeyCall>& HandledWithTarget();
  void SetHandledWithTarget(std::vector<HandleKeyCall> handled) { handled_ = std::move(handled); }
  // Calls that crashed, hung or ended a worker: reported once, by the check that made them.
  std::vector<HandleKeyCall> lostIn;
  // Calls seen to send keys after they returned.
  std::vector<HandleKeyCall> lateSenders;

  [[nodiscard]] hostkit::StandInWindow Target() const {
    return hostkit::StandInWindow(hostkit::StandInTitle, commandLine_.targetClass.c_str());
  }
  [[nodiscard]] bool TargetPresent() const;

  // Ends the worker and loads the plug-in afresh in a new one; throws PluginLost, with the
  // reason, when it does not load.
  void FreshLoad();

 private:
  const CommandLine& commandLine_;
  const std::uint32_t seed_;
  PluginSession plugin_;
  std::string current_;
  std::vector<Finding> findings_;
  std::optional<pe_image::PeImage> image_;
  std::string imageError_;
  std::optional<std::vector<HandleKeyCall>> handled_;
};

}  // namespace plughost
