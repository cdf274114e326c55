#pragma once

// What happened to one message on its way to the server, as a run records it.
enum class EDelivery {
    Sending, // its data is about to go out: recorded first, so a stop now finds it in doubt
    Deferred, // refused for now (4xx); it will be tried again
    Sent, // the server accepted the end of its data
    Failed,
    InDoubt, // handed over, but the server's acceptance never came
};

// Why a message was not sent when the send journal could not record that it was being sent.
inline constexpr const char *kNotRecorded
    = "not sent: the send journal could not record it, and a later resume relies on that";
// Why a message with an address beyond ASCII was not sent to a server that does not take one.
inline constexpr const char *kNeedsSmtpUtf8
    = "not sent: its address holds characters beyond ASCII, and the server does not offer "
      "SMTPUTF8, which such an address needs";

// Why a message waiting for another try was not sent.
inline constexpr const char *kCancelledRetry
    = "not sent again: the run was cancelled before its next try";
