// The duplicate-key resolver: before a primary key or unique index is created it queues the
// statements that remove the rows which would break it. The engine data module owns one.
#pragma once

class Tdm;

class TSostCanc {
 public:
  explicit TSostCanc(Tdm& owner) : Owner(owner) {}
  TSostCanc(const TSostCanc&) = delete;
  TSostCanc& operator=(const TSostCanc&) = delete;

  Tdm& Owner;  // the engine that made this resolver
};
