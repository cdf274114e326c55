#pragma once

// What happened to one message on its way to the server, as a run records it.
enum class EDelivery {
    Sending, // a connection has begun to hand it over
    Deferred, // refused for now (4xx); it will be tried again
    Sent, // the server accepted the end of its data
    Failed,
    InDoubt, // handed over, but the server's acceptance never came
};
