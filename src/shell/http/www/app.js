"use strict";

// The shell puts native_appVersion and the three action functions on the
// window; each function asks for a folder or file, runs kelpu-cli and returns
// its exit status.
const ADDRESS_KEY = "kelpkit.controllerAddress";

const address = document.getElementById("address");
const outcome = document.getElementById("outcome");
const buttons = document.querySelectorAll("button[data-function]");

function describe(label, status) {
  switch (status) {
  case 0: return [label + ": done.", "done"];
  case 1: return [label + ": failed or incomplete. The utility's log says why.", "failed"];
  case 2: return [label + ": bad arguments. Check the controller address and the chosen file.", "failed"];
  case -1: return [label + ": not started.", "failed"];
  default: return [label + ": ended with status " + status + ".", "failed"];
  }
}

function show(text, kind) {
  outcome.textContent = text;
  outcome.className = "outcome " + kind;
}

function run(button) {
  const label = button.dataset.label;
  const action = window[button.dataset.function];
  show(label + ": running. The utility shows its progress in its own window.", "running");
  buttons.forEach(b => { b.disabled = true; });
  // Let the page draw the message before the call holds it until the end.
  setTimeout(() => {
    const status = action(address.value.trim());
    buttons.forEach(b => { b.disabled = false; });
    const [text, kind] = describe(label, status);
    show(text, kind);
  }, 50);
}

address.value = localStorage.getItem(ADDRESS_KEY) || "";
address.focus();
address.addEventListener("input", () => localStorage.setItem(ADDRESS_KEY, address.value.trim()));

if (typeof window.native_appVersion === "string") {
  document.getElementById("version").textContent = "kelpkit " + window.native_appVersion;
  buttons.forEach(button => button.addEventListener("click", () => run(button)));
} else {
  document.getElementById("version").textContent = "Open this page in the kelpkit application to use the actions.";
  buttons.forEach(b => { b.disabled = true; });
}
