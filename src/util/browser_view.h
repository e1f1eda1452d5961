#pragma once
// An embedded web browser view as the core sees it. The window implements it
// on QWebEngineView; tests implement it over loopback HTTP.

#include <string>

namespace stratlyn {

// The completion marker a view's Tag holds once its page counts as loaded.
inline constexpr const char* kPageDone = "alldone";

class BrowserView {
 public:
  // Ready states, as the classic control numbers them.
  enum ReadyState {
    kUninitialized = 0,
    kLoading = 1,
    kLoaded = 2,
    kInteractive = 3,
    kComplete = 4
  };
  // Navigate flag: do not read the page from the cache.
  static constexpr int kNoReadFromCache = 4;

  virtual ~BrowserView() = default;

  // Starts loading `url`; returns at once. A failed load ends in kComplete too.
  virtual void Navigate(const std::string& url, int flags = 0) = 0;
  // One page back or forward; false (and nothing happens) when there is none.
  virtual bool GoBack() = 0;
  virtual bool GoForward() = 0;
  // Stops the load in progress; the view is then kComplete.
  virtual void Stop() = 0;
  virtual int ReadyState() const = 0;
  // The address the view shows now (after any redirection).
  virtual std::string LocationURL() const = 0;
  // The document's body HTML (innerHTML); "" when there is no document.
  virtual std::string BodyHtml() = 0;
  // No script error or JavaScript dialogs while silent.
  virtual void SetSilent(bool silent) = 0;
  // Why the last load failed, in words ("HTTP 404 (Not Found)", "no answer in
  // 30 s"); "" when it loaded, or when the view cannot tell.
  virtual std::string LoadFailure() const { return {}; }

  // The free text each view carries; "alldone" marks a loaded page.
  const std::string& Tag() const { return tag_; }
  void SetTag(const std::string& tag) { tag_ = tag; }

 private:
  std::string tag_;
};

}  // namespace stratlyn
