// Shows the text the handler page alerts for links it does not send anywhere; OK
// closes the window, as it closes the alert.
'use strict';

document.getElementById('notice').textContent = ruvoRouting.unsupportedAlert;
document.getElementById('close').addEventListener('click', () => window.close());
