# Load and fault runs against a live bridge: connection churn, idle and trickling connections, a
# stalled reader during a broadcast, and malformed input on many connections at once.
tessiva_add_test(bridge_load_test
  SOURCES load_test.cpp fault_test.cpp
  LIBS tessiva_bridge tessiva_test_support)
target_include_directories(bridge_load_test PRIVATE ${CMAKE_SOURCE_DIR}/tests/bridge)
