// The receive loop: poll the quit key, receive one datagram, print its
// identification lines, then display it at once or hold it as a part of a
// multi-packet message until its group is complete.
#pragma once

#include <cstddef>

#include "feedwatch/console_output.h"
#include "feedwatch/multipacket_store.h"
#include "feedwatch/packet_buffer.h"
#include "platform/keyboard.h"
#include "platform/sockets.h"

namespace feedwatch {

// Handles one datagram of `length` bytes received into `buffer`: clears the
// bytes behind it, prints the identification lines, zeroes NameTerminator,
// and prints it as a single packet or stores it, printing its whole group
// once that is complete.
void handle_datagram(PacketBuffer& buffer, std::size_t length, MultipacketStore& store,
                     Console& console);

// Runs the loop until `q` is pressed (returns 0), a receive fails (prints
// the failure and returns -1) or the output cannot be written (reports it
// and returns -1).  Output is flushed after every datagram.
int run_receive_loop(platform::UdpSocket& socket, platform::Keyboard& keyboard, Console& console);

}  // namespace feedwatch
