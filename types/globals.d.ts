// Globals shared by the page scripts. Each script hangs its module off
// window.TY (declared in modules.d.ts); the host injects window.chrome.webview
// and calls window.kobHost.emit and window.__requestExit.
interface Window {
  TY: Tessary.Namespace;
  kobHost: { emit(event: string, payload?: unknown): void };
  chrome: any;
  __requestExit?: () => void;
}
declare var TY: Tessary.Namespace;
