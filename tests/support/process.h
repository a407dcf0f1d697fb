// A program started by a test that the test can kill at a moment of its
// choosing, together with every program it started in turn, as a power cut
// or the task manager would.
#pragma once

#include <string>
#include <vector>

namespace korva {

// Runs argv[0] with its arguments and waits for it: in the folder `folder`
// ("" for the current one), its stdout written to the file `out` and its
// stderr to `err`. Returns its exit status, or -1 when it could not start
// or did not end normally.
int RunCaptured(const std::vector<std::string>& argv, const std::string& folder,
                const std::string& out, const std::string& err);

class ChildProcess {
 public:
  // Starts argv[0] with its arguments; stdout and stderr go to `output`.
  ChildProcess(const std::vector<std::string>& argv, const std::string& output);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const;
  // True while the program has not ended.
  bool Running();
  // Kills the program and everything it started, at once and without
  // warning, and waits until they are gone.
  void KillAll();
  // Waits for the program to end; its exit status, or -1.
  int Wait();

 private:
  struct Handle;
  Handle* handle_;
};

}  // namespace korva
