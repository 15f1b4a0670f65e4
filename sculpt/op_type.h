#pragma once

// Operation record types; any other value applies nothing but is still logged.
enum OpType : int {
  kOpClear = 0,
  kOpSphere = 1,
  kOpBox = 2,
  kOpCylinder = 3,
};
