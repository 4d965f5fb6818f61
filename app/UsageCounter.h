// The start-up usage count: one GET of the statistics server's counter page
// carrying the executable's name, sent from a background thread so that the
// window never waits for it. The answer is not used, failures leave no
// trace. The server's host is a build setting; when it is empty (the
// default, and always in test builds) nothing is contacted.
#pragma once

#include <string>

namespace velmo {

// The statistics host the program was built with ("" for none).
std::u16string CounterHost();

// "http://" + Host + "/soft/Counter.asp?nm=" + Name, the name percent-
// encoded where a query cannot hold it as it is (blank, controls, non-ASCII
// as UTF-8, and # % & + " < > \ ^ ` { | }).
std::string CounterUrl(const std::u16string& Host, const std::u16string& Name);

// The thread's work: one GET with three-second time-outs.
void CounterThreadProc(const std::u16string& Host, const std::u16string& Name);

// Starts the counter thread for the built host and the running executable's
// file name; true when a thread was started (never with an empty host).
bool StartCounter();
// The same for a given host and name.
bool StartCounterAt(const std::u16string& Host, const std::u16string& Name);

}  // namespace velmo
