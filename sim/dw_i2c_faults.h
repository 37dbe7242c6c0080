// Ways a DesignWare I2C controller can misbehave, so that the tool's bounded
// waits and time-outs can be exercised. All off on a healthy board.
#pragma once

namespace sim {

struct DwI2cFaults {
  bool dead = false;                 // never reports enabled
  bool neverDisables = false;        // never reports disabled once enabled
  bool sclHeld = false;              // SCL held low: queued commands never reach the wire
  bool txAbortStuck = false;         // TX_ABRT reads set however often it is cleared
  bool txFifoFull = false;           // TFNF never set
  bool rxFullStuck = false;          // RFF always set
  bool masterActivityStuck = false;  // master activity always reported
  bool rxDataLost = false;           // bytes read on the wire never reach the RX FIFO
  bool notDw = false;                // IC_COMP_TYPE reads another block's type (a DW UART)
  bool lpssUart = false;             // Intel: the LPSS capabilities register reports a UART block
};

}  // namespace sim
