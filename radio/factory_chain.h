// The daemon's slot factories, the plain ones and the radio ones, in start-up order.
#pragma once

// Each factory joins the head of the chain when it is first made: the last made is
// tried first. Calling it again makes nothing new.
void CreateSlotFactories();
