#pragma once
// An event handler bound to a receiving object, like a component's published event.
// Two handlers compare equal when they run the same operation; the receiving object is
// not compared (the controller relies on this when it hands a new default handler to
// the devices that still carry the old one).

namespace hid {

template <typename Sig> class THandler;

template <typename R, typename... A> class THandler<R(A...)> {
  public:
    using Operation = R (*)(void*, A...);

    THandler() = default;
    THandler(void* receiver, Operation op) : receiver_(receiver), op_(op) {}

    // Binds a member function: THandler<...>::Bind<&TForm1::HidCtrl1DeviceData>(form).
    template <auto Method, typename C> static THandler Bind(C* receiver) {
        return THandler(receiver, &Trampoline<Method, C>);
    }

    explicit operator bool() const { return op_ != nullptr; }
    R operator()(A... args) const { return op_(receiver_, args...); }
    bool operator==(const THandler& other) const { return op_ == other.op_; }

    void* Receiver() const { return receiver_; }

  private:
    template <auto Method, typename C> static R Trampoline(void* receiver, A... args) {
        return (static_cast<C*>(receiver)->*Method)(args...);
    }

    void* receiver_ = nullptr;
    Operation op_ = nullptr;
};

} // namespace hid
