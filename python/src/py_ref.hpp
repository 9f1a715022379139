// Owning handle for a PyObject reference, and the Python.h include every binding file uses.
#pragma once

#define PY_SSIZE_T_CLEAN
#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x03090000
#endif
#include <Python.h>

#include <utility>

namespace scrubix::py {

// Holds one strong reference and drops it when destroyed. Null means "no object"; the
// functions that produce one then have a Python error set.
class PyRef {
public:
    PyRef() noexcept = default;
    // Takes over a new (owned) reference, as returned by most C-API calls.
    explicit PyRef(PyObject* owned) noexcept : ptr_(owned) {}
    // Adds a reference to a borrowed pointer.
    static PyRef borrow(PyObject* borrowed) noexcept {
        Py_XINCREF(borrowed);
        return PyRef(borrowed);
    }

    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            PyObject* old = std::exchange(ptr_, std::exchange(other.ptr_, nullptr));
            Py_XDECREF(old);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(ptr_); }

    PyObject* get() const noexcept { return ptr_; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    // Hands the reference to the caller (for "steals a reference" APIs and return values).
    [[nodiscard]] PyObject* release() noexcept { return std::exchange(ptr_, nullptr); }

private:
    PyObject* ptr_ = nullptr;
};

// Releases the interpreter lock for the lifetime of the guard. The destructor takes it back,
// so it is re-acquired on every way out of the scope, exceptions included.
//
// A thread that asks for the lock back while the interpreter is shutting down (a daemon
// thread, or a thread of another library running a Python callback, when the main thread
// ends) is ended by the interpreter with pthread_exit, which unwinds the thread's stack. The
// destructor lets that unwinding pass (a destructor is otherwise noexcept, and the unwinding
// would end the process with std::terminate). The guard is therefore never left by an
// exception: the calls under it catch their own.
class AllowThreads {
public:
    AllowThreads() noexcept : state_(PyEval_SaveThread()) {}
    AllowThreads(const AllowThreads&) = delete;
    AllowThreads& operator=(const AllowThreads&) = delete;
    ~AllowThreads() noexcept(false) { PyEval_RestoreThread(state_); }

private:
    PyThreadState* state_;
};

}  // namespace scrubix::py
