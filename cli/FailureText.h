// A controller error told to an operator: what went wrong first, in words,
// without the family, the code and the chain of code locations the library
// adds on its way up (that chain is for --verbose).
#pragma once

#include <string>

#include "CYrError.h"

namespace priamctl {

// The message the innermost error was built with, blanks trimmed; the
// newest location's message when that is empty.
std::string FirstCause(const CYrError& error);

// The same, for an error the controller only logged as text (a failed
// initialization): the message after "<family> error <code>: ", up to the
// first "[at ...]" location. The text up to there when it holds no error.
std::string FirstCauseOfLogged(const std::string& text);

// The code of the first error in `errorText` (an error's AsString(), or a
// log line that holds one); -1 when it holds none.
long ErrorCodeOf(const std::string& errorText);

// The HTTP status of a failed request, from an error or its logged text:
// 401 and 503 from the codes the controller gives them (5, 5006), any other
// from its "ErrorCode [N]"; 0 when no answer came (N is 0); -1 when the
// error is not the failure of a request.
int HttpStatusOf(const std::string& errorText);

// "HTTP 404", "HTTP 401 (the credentials were refused)", "no answer".
std::string DescribeHttpStatus(int status);

// "the sidecar answered HTTP 404", "the sidecar did not answer" (status 0).
std::string DescribeAnswer(int status);

}  // namespace priamctl
